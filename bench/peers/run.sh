#!/usr/bin/env bash
# Orvex beside its peers (Python plistlib, the Rust plist crate): builds every
# driver, writes the documents, times every operation and writes results.md and
# results.svg here. Usage: bench/peers/run.sh [--quick]
#   --quick: documents a tenth the size, fewer runs; results go to build/ instead.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cd "$here"

missing=()
for p in cmake g++ make cargo librust-plist-dev python3-matplotlib; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then echo "missing packages (run as root): ${missing[*]}" >&2; exit 1; fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq "${missing[@]}" >/dev/null
fi

if [ "${1:-}" = "--quick" ]; then
  runs=2 reps=2 docs=build/docs-quick out=build/results-quick gen_flags=--quick
else
  runs=3 reps=3 docs=build/docs out=results gen_flags=
fi
mkdir -p build

echo "building Orvex (Release) and its driver"
cmake -S "$root" -B "$root/build-rel" -DCMAKE_BUILD_TYPE=Release -DORVEX_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build-rel" -j2 --target orvex orvexpp >/dev/null
g++ -std=c++17 -O2 -Wall -Wextra -Werror -I"$root/include" -I"$root/build-rel/include" \
  orvex_peer.cpp -o build/orvex_peer -L"$root/build-rel" -lorvex++ -lorvex -Wl,-rpath,"$root/build-rel"

# Debian's toolchain, whatever else PATH holds; offline, against Debian's crates
# (.cargo/config.toml).
echo "building the Rust driver"
(cd rust && RUSTC=/usr/bin/rustc RUSTDOC=/usr/bin/rustdoc /usr/bin/cargo build -q --release --offline)

echo "writing the documents into $docs"
/usr/bin/python3 gen.py "$docs" $gen_flags

echo "measuring: $runs runs of each peer on each document, $reps parses and writes a run"
/usr/bin/python3 report.py "$docs" "$runs" "$reps" "$out.md" "$out.svg" "$here/build"
