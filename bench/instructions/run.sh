#!/usr/bin/env bash
# Instruction counts per operation, store and object model, under callgrind:
# repeatable whatever else the machine does, unlike wall time on a shared
# machine (the hash seed is fixed, so one binary counts the same twice). Each
# figure is (run with N=3 minus run with N=0) / 3, so parsing the input and
# starting the process do not count; a read includes its free.
#   bench/instructions/run.sh [BUILD_DIR] [DOC...]
# BUILD_DIR: a Release build (default build-rel, configured and built when
# missing); DOC: documents (default the 5 MB library from bench/peers/gen.py).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(realpath -m "${1:-$root/build-rel}")
shift || true
command -v valgrind >/dev/null || bash "$root/scripts/deps.sh" valgrind
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target orvex orvexpp >/dev/null
out="$build/instructions"
mkdir -p "$out"
for prog in store_ops model_ops; do
  g++ -std=c++17 -O2 -Wall -Wextra -Werror -I"$root/include" -I"$build/include" "$here/$prog.cpp" \
    -o "$out/$prog" -L"$build" -lorvex++ -lorvex -Wl,-rpath,"$build"
done
docs=("$@")
if [ ${#docs[@]} -eq 0 ]; then
  [ -f "$out/docs/library-5.xml" ] || python3 "$root/bench/peers/gen.py" "$out/docs" >/dev/null
  docs=("$out/docs/library-5.xml" "$out/docs/library-5.bin")
fi
# The store seeds its dictionaries' hash from getrandom, and probing depends on the seed: a fixed
# seed makes two runs of one binary count the same.
printf '%s\n' '#include <string.h>' '#include <sys/types.h>' \
  'ssize_t getrandom(void *b, size_t n, unsigned f) { (void)f; memset(b, 0x5a, n); return (ssize_t)n; }' \
  >"$out/fixed_seed.c"
gcc -O2 -shared -fPIC "$out/fixed_seed.c" -o "$out/fixed_seed.so"
count() {
  LD_PRELOAD="$out/fixed_seed.so" valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
printf '%-28s %-6s %-9s %14s\n' document side operation instructions
for doc in "${docs[@]}"; do
  for side in store model; do
    ops="read xml bin"
    [ "$side" = store ] && ops="read xml bin json openstep"
    for op in $ops; do
      zero=$(count "$out/${side}_ops" "$doc" 0 "$op")
      three=$(count "$out/${side}_ops" "$doc" 3 "$op")
      printf '%-28s %-6s %-9s %14d\n' "$(basename "$doc")" "$side" "$op" $(((three - zero) / 3))
    done
  done
done
