#!/usr/bin/env bash
# Builds the Debian package (cpack -G DEB: libraries, headers, orvexutil, its man
# page, CMake package, pkg-config files), installs it (dpkg -i as root, as CI
# runs; otherwise, or with ORVEX_PACKAGE_SCRATCH=1, unpacked into a scratch
# root) and runs orvexutil from it. Usage: scripts/package.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
# dpkg-shlibdeps (dpkg-dev) and file find the package's dependencies.
bash scripts/deps.sh dpkg-dev file
dir=${1:-build-pkg}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DORVEX_WERROR=ON \
  -DORVEX_BUILD_TESTS=OFF -DORVEX_BUILD_BENCH=OFF -DORVEX_BUILD_EXAMPLES=OFF -DORVEX_BUILD_TOOLS=ON >/dev/null
cmake --build "$dir" -j"$(nproc)"
rm -f "$dir"/orvex_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/orvex_*.deb)
echo "-- $deb"
dpkg-deb --field "$deb" Package Version Depends

contents=$(dpkg-deb --contents "$deb")
# The libraries under the SONAME they were built with (liborvex.so.0.2 for 0.2.x), and the shlibs
# file naming that SONAME, so that other packages depend on this ABI.
sonames=()
for lib in liborvex liborvex++; do
  sonames+=("$(readelf -d "$dir/$lib.so" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')")
done
for want in usr/bin/orvexutil share/man/man1/orvexutil.1 include/orvex/orvex.h include/orvex/orvex++.h \
  "${sonames[@]}" liborvex.so liborvex++.so cmake/Orvex/OrvexConfig.cmake pkgconfig/orvex.pc pkgconfig/orvex++.pc; do
  grep -qF "/$want" <<<"$contents" || { echo "package lacks $want"; exit 1; }
done
shlibs=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./shlibs)
for so in "${sonames[@]}"; do
  grep -q "^${so%%.so.*} ${so#*.so.} orvex " <<<"$shlibs" || { echo "shlibs does not name $so:"; echo "$shlibs"; exit 1; }
done

# In /usr the pkg-config files name /usr itself, so that pkg-config drops the system's -I and -L.
pc=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO --wildcards './usr/lib/*pkgconfig/orvex.pc')
grep -qx 'prefix=/usr' <<<"$pc" || { echo "orvex.pc in the package does not name /usr:"; echo "$pc"; exit 1; }

if [ "$(id -u)" -eq 0 ] && [ -z "${ORVEX_PACKAGE_SCRATCH:-}" ]; then
  echo "-- dpkg -i"
  dpkg -i "$deb" >/dev/null
  tool=orvexutil
else
  echo "-- dpkg -x into a scratch root"
  scratch=$(mktemp -d /tmp/orvex-package.XXXXXX)
  trap 'rm -rf "$scratch"' EXIT
  dpkg -x "$deb" "$scratch"
  # Found through the tool's relative run path, as in /usr.
  unset LD_LIBRARY_PATH
  tool=$scratch/usr/bin/orvexutil
fi

version=$(dpkg-deb --field "$deb" Version)
[ "$("$tool" --version)" = "orvexutil $version" ] || { echo "installed orvexutil is not version $version"; exit 1; }
work=$(mktemp -d /tmp/orvex-package-run.XXXXXX)
"$tool" convert binary -o "$work/sample.bin" tests/data/scalars.xml
"$tool" lint "$work/sample.bin"
"$tool" print "$work/sample.bin" | head -n 3
rm -rf "$work"
echo "package installs and runs: $(basename "$deb")"
