#!/usr/bin/env bash
# Builds the libraries and runs the tour on a bundled sample: parse, walk,
# change, insert, and write the result as XML and binary.
# Usage: scripts/demo.sh [document]   (default: tests/data/library.xml)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEX_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)" --target model_tour >/dev/null
./build/model_tour "${1:-tests/data/library.xml}" build/tour-output.bin
