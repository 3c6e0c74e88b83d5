#!/usr/bin/env bash
# Builds and runs tests/consumer/main.cpp against Orvex three ways: add_subdirectory
# with GoogleTest and Google Benchmark hidden, find_package on the tree that build
# installs, and pkg-config on the same tree; then runs the installed orvexutil.
# Usage: tests/consumer/run.sh [work-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=${1:-$(mktemp -d /tmp/orvex-consumer.XXXXXX)}
prefix=$work/prefix
rm -rf "$work/sub" "$work/pkg" "$prefix"

echo "-- add_subdirectory"
cmake -S "$root/tests/consumer" -B "$work/sub" -DORVEX_SOURCE_DIR="$root" \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DORVEX_BUILD_TOOLS=ON --no-warn-unused-cli \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >/dev/null
cmake --build "$work/sub" -j"$(nproc)" >/dev/null
version=$("$work/sub/consumer")

echo "-- find_package on an installed tree"
cmake --install "$work/sub" >/dev/null
cmake -S "$root/tests/consumer" -B "$work/pkg" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/pkg" >/dev/null
"$work/pkg/consumer" >/dev/null

echo "-- pkg-config"
libdir=$(dirname "$(find "$prefix" -name liborvex.so | head -n 1)")
export PKG_CONFIG_PATH=$libdir/pkgconfig
pkg-config --validate orvex orvex++
[ "$(pkg-config --modversion orvex++)" = "$version" ] || { echo "pkg-config version differs from $version"; exit 1; }
c++ -std=c++17 -Wall -Wextra -Werror "$root/tests/consumer/main.cpp" -o "$work/pc-consumer" \
  $(pkg-config --cflags --libs orvex++)
LD_LIBRARY_PATH=$libdir "$work/pc-consumer" >/dev/null
# The installed C header stands alone in C.
printf '#include <orvex/orvex.h>\nint main(void) { return orvex_version()[0] != ORVEX_VERSION_STRING[0]; }\n' |
  cc -std=c99 -Wall -Wextra -Werror -x c - -o "$work/pc-c-consumer" $(pkg-config --cflags --libs orvex)
LD_LIBRARY_PATH=$libdir "$work/pc-c-consumer"

echo "-- installed orvexutil and its man page"
export LD_LIBRARY_PATH=$libdir
[ "$("$prefix/bin/orvexutil" --version)" = "orvexutil $version" ] || { echo "orvexutil is not version $version"; exit 1; }
"$prefix/bin/orvexutil" convert binary -o "$work/sample.bin" "$root/tests/data/library.xml"
"$prefix/bin/orvexutil" lint "$work/sample.bin" >/dev/null
[ -s "$prefix/share/man/man1/orvexutil.1" ] || { echo "man page not installed"; exit 1; }
echo "consumer builds and runs, orvexutil runs: Orvex $version"
