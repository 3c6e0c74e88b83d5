#!/usr/bin/env bash
# Formats every C and C++ source with .clang-format, or with --check lists the
# files that differ and fails. Pinned to clang-format 14: versions disagree.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh clang-format-14
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h' '*.hpp')
if [ "${1:-}" = "--check" ]; then
  clang-format-14 --dry-run --Werror "${files[@]}"
else
  clang-format-14 -i "${files[@]}"
fi
