#!/usr/bin/env bash
# Builds orvexutil and runs its main jobs on a bundled sample: converts the XML
# document to binary (and JSON), lints the results, sets a value by key path in the binary
# copy and prints its tree. The files land in build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEX_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)" --target orvexutil >/dev/null
out=build/demo
mkdir -p "$out"
run() {
  echo "\$ orvexutil $*"
  build/orvexutil "$@"
}
results=(tests/data/library.xml $out/library.bin)
run convert binary -o $out/library.bin tests/data/library.xml
run convert json --pretty --lossy -o $out/library.json tests/data/library.xml
results+=($out/library.json)
head -n 6 $out/library.json
echo "  ..."
run lint "${results[@]}"
run set Tracks.1.Rating -integer 100 $out/library.bin
run print $out/library.bin >$out/library.txt
head -n 14 $out/library.txt
echo "... $(($(wc -l <$out/library.txt) - 14)) more lines in $out/library.txt"
