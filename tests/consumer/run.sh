#!/usr/bin/env bash
# Checks that scripts/deps.sh, run as a user, fails with the apt-get line when a package is
# missing. Builds and runs tests/consumer against Orvex: through add_subdirectory with GoogleTest
# and Google Benchmark hidden; then installed under a prefix outside /usr, with
# LD_LIBRARY_PATH unset: the installed orvexutil, find_package and pkg-config consumers,
# and pkg-config's flags naming that prefix; then all of it again after the whole prefix
# folder has been moved elsewhere (nothing may remember where it was installed); then with static
# libraries (BUILD_SHARED_LIBS=OFF), through add_subdirectory and installed for find_package.
# Usage: tests/consumer/run.sh [work-dir]
set -euo pipefail
unset LD_LIBRARY_PATH
root=$(cd "$(dirname "$0")/../.." && pwd)
work=${1:-$(mktemp -d /tmp/orvex-consumer.XXXXXX)}
mkdir -p "$work"
work=$(cd "$work" && pwd -P)
prefix=$work/prefix
moved=$work/moved/elsewhere
static=$work/prefix-static
rm -rf "$work/sub" "$work/sub-static" "$work"/pkg-* "$prefix" "$static" "$work/moved"
fail() { echo "FAIL: $*" >&2; exit 1; }
# Checks that program $1 loads its $3 Orvex libraries from folder $2, not from a copy
# elsewhere on the system (which would hide a missing run path).
loads_from() {
  local n=0 name so
  while read -r name so; do
    [ "$so" != not ] || fail "$1: $name not found"
    [ "$(dirname "$(realpath -m "$so")")" = "$2" ] || fail "$1: $name => $so, not in $2"
    n=$((n + 1))
  done < <(ldd "$1" | awk '$1 ~ /^liborvex(\+\+)?\.so/ { print $1, $3 }')
  [ "$n" = "$3" ] || fail "$1 loads $n Orvex libraries, not $3"
}

echo "-- scripts/deps.sh as a user, a package missing"
as_user=()
[ "$(id -u)" -ne 0 ] || as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
if [ "$(id -u)" -ne 0 ] || command -v setpriv >/dev/null; then
  if out=$("${as_user[@]}" bash -s orvex-no-such-package <"$root/scripts/deps.sh" 2>&1); then
    fail "deps.sh exits 0 with a package missing: $out"
  fi
  grep -qx 'apt-get update && apt-get install -y .*orvex-no-such-package' <<<"$out" ||
    fail "deps.sh does not print the apt-get line: $out"
else
  echo "(skipped: root without setpriv)"
fi

echo "-- add_subdirectory"
cmake -S "$root/tests/consumer" -B "$work/sub" -DORVEX_SOURCE_DIR="$root" \
  -DORVEX_BUILD_TOOLS=ON --no-warn-unused-cli \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >/dev/null
cmake --build "$work/sub" -j"$(nproc)" >/dev/null
version=$("$work/sub/consumer")
"$work/sub/model_consumer"

# Configured for the default prefix, installed elsewhere.
cmake --install "$work/sub" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name liborvex.so | head -n 1)")
libdir=${libdir#"$prefix"/} # lib, lib64 or lib/<multiarch>

# Runs everything installed under $1 ($2 names the step).
check_installed() {
  local p=$1 lib=$1/$libdir build=$work/pkg-$2 flag dir seen=
  echo "-- installed orvexutil and its man page ($2)"
  loads_from "$p/bin/orvexutil" "$lib" 2
  [ "$("$p/bin/orvexutil" --version)" = "orvexutil $version" ] || fail "orvexutil is not version $version"
  "$p/bin/orvexutil" convert binary -o "$work/sample.bin" "$root/tests/data/library.xml"
  "$p/bin/orvexutil" lint "$work/sample.bin" >/dev/null
  [ -s "$p/share/man/man1/orvexutil.1" ] || fail "man page not installed"

  echo "-- find_package ($2)"
  cmake -S "$root/tests/consumer" -B "$build" -DCMAKE_PREFIX_PATH="$p" >/dev/null
  cmake --build "$build" >/dev/null
  loads_from "$build/consumer" "$lib" 2
  "$build/consumer" >/dev/null
  # Otherwise the next run says nothing about how liborvex++ finds liborvex.
  if readelf -d "$build/model_consumer" | grep -q 'NEEDED.*\[liborvex\.so'; then
    fail "model_consumer needs liborvex itself despite --as-needed"
  fi
  loads_from "$build/model_consumer" "$lib" 2
  "$build/model_consumer"

  echo "-- pkg-config ($2)"
  export PKG_CONFIG_PATH=$lib/pkgconfig
  pkg-config --validate orvex orvex++
  [ "$(pkg-config --modversion orvex++)" = "$version" ] || fail "pkg-config version differs from $version"
  for flag in $(pkg-config --cflags --libs orvex orvex++); do
    case $flag in
    -I* | -L*) dir=$(realpath -m "${flag:2}") ;;
    *) continue ;;
    esac
    [ "$dir" = "$p/include" ] || [ "$dir" = "$lib" ] || fail "pkg-config names $flag, not a folder of $p"
    seen+=${flag:0:2}
  done
  [[ $seen == *-I* && $seen == *-L* ]] || fail "pkg-config gives no -I or no -L: $(pkg-config --cflags --libs orvex++)"
  local rpath=-Wl,-rpath,$(pkg-config --variable=libdir orvex++)
  c++ -std=c++17 -Wall -Wextra -Wundef -Werror "$root/tests/consumer/main.cpp" -o "$build/pc-consumer" \
    $(pkg-config --cflags --libs orvex++) "$rpath"
  loads_from "$build/pc-consumer" "$lib" 2
  "$build/pc-consumer" >/dev/null
  c++ -std=c++17 -Wall -Wextra -Werror "$root/tests/consumer/model.cpp" -o "$build/pc-model-consumer" \
    -Wl,--as-needed $(pkg-config --cflags --libs orvex++) "$rpath"
  loads_from "$build/pc-model-consumer" "$lib" 2
  "$build/pc-model-consumer"
  # The installed C header stands alone in C, and its version number answers #if.
  printf '%s\n' '#include <orvex/orvex.h>' '#if ORVEX_VERSION_NUMBER < 200' '#error no version number' '#endif' \
    'int main(void) { return orvex_version()[0] != ORVEX_VERSION_STRING[0]; }' |
    cc -std=c99 -Wall -Wextra -Wundef -Werror -x c - -o "$build/pc-c-consumer" $(pkg-config --cflags --libs orvex) "$rpath"
  loads_from "$build/pc-c-consumer" "$lib" 1
  "$build/pc-c-consumer"
}

check_installed "$prefix" installed
mkdir -p "$(dirname "$moved")"
mv "$prefix" "$moved"
check_installed "$moved" moved

echo "-- static libraries: add_subdirectory, then installed for find_package"
cmake -S "$root/tests/consumer" -B "$work/sub-static" -DORVEX_SOURCE_DIR="$root" -DBUILD_SHARED_LIBS=OFF \
  --no-warn-unused-cli -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >/dev/null
cmake --build "$work/sub-static" -j"$(nproc)" >/dev/null
cmake --install "$work/sub-static" --prefix "$static" >/dev/null
for a in liborvex.a liborvex++.a; do
  [ -f "$static/$libdir/$a" ] || fail "static install lacks $libdir/$a"
done
[ -z "$(find "$static" -name 'liborvex*.so*')" ] || fail "static install holds a shared library"
cmake -S "$root/tests/consumer" -B "$work/pkg-static" -DCMAKE_PREFIX_PATH="$static" >/dev/null
cmake --build "$work/pkg-static" >/dev/null
for program in "$work/sub-static/consumer" "$work/sub-static/model_consumer" "$work/pkg-static/consumer" \
  "$work/pkg-static/model_consumer"; do
  loads_from "$program" "" 0
  "$program" >/dev/null
done
echo "consumers build and run, orvexutil runs, installed and moved, without LD_LIBRARY_PATH; static libraries link: Orvex $version"
