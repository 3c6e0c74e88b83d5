#!/usr/bin/env bash
# Runs every test suite of a built tree under valgrind memcheck; fails on any
# memory error or definite leak. Usage: scripts/valgrind.sh <build-dir>
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
status=0
for t in "$dir"/tests/*_test; do
  [ -x "$t" ] || continue
  if ! valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
      --show-leak-kinds=definite "$t" --gtest_brief=1 >"$t.valgrind.log" 2>&1; then
    echo "valgrind: $(basename "$t") FAILED"; tail -40 "$t.valgrind.log"; status=1
  else
    echo "valgrind: $(basename "$t") clean"
  fi
done
exit $status
