#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 14 (address and undefined
# behaviour sanitizers) and runs each for SECONDS (default 60) on its corpus.
# Exits non-zero on any crash, leak, timeout or out-of-memory; the input that
# caused it is left in the working directory as crash-*, leak-*, timeout-*
# or oom-*.
#
#   bash fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail

secs=${1:-60}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVEX_FUZZ_BUILD:-$root/build-fuzz}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(xml_reader bin_reader json_reader ostep_reader memory roundtrip model edit)

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DORVEX_SANITIZE=address,undefined -DORVEX_BUILD_FUZZ=ON \
  -DORVEX_BUILD_TESTS=OFF -DORVEX_BUILD_BENCH=OFF -DORVEX_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target $(printf '%s_fuzz ' "${targets[@]}") >/dev/null

data=$root/tests/data
# Seeds: the test documents for the readers (for JSON, the samples' expected
# trees, which are JSON); for the model target each
# document behind its two-byte length, followed by operation bytes.
seed() {
  local t=$1 dir=$root/fuzz/corpus-$1
  mkdir -p "$dir"
  case $t in
    xml_reader) cp "$data"/*.xml "$dir"/ ;;
    bin_reader) cp "$data"/*.bin "$dir"/ ;;
    json_reader) cp "$data"/*.expect.json "$dir"/ ;;
    memory|roundtrip) cp "$data"/*.xml "$data"/*.bin "$data"/ostep/* "$root"/fuzz/seeds/json_reader/* "$dir"/ ;;
    ostep_reader) cp "$data"/ostep/* "$dir"/ ;;
    model) ;;
    edit) ;; # its seeds: four bytes that choose the edit, then a document
  esac
  [ -d "$root/fuzz/seeds/$t" ] && cp "$root/fuzz/seeds/$t"/* "$dir"/ 2>/dev/null || true
  [ -d "$data/regress" ] && cp "$data/regress"/* "$dir"/ 2>/dev/null || true
}

status=0
for t in "${targets[@]}"; do
  seed "$t"
  dict=()
  case $t in
    xml_reader|memory|roundtrip) dict=(-dict="$root/fuzz/xml.dict") ;;
    ostep_reader) dict=(-dict="$root/fuzz/ostep.dict") ;;
    json_reader) dict=(-dict="$root/fuzz/json.dict") ;;
    edit) dict=(-dict="$root/fuzz/ostep.dict") ;;
  esac
  echo "== $t: ${secs}s"
  # -error_exitcode covers crashes and leaks; timeouts and OOMs exit
  # non-zero by themselves.
  if ! (cd "$root/fuzz" && "$build/fuzz/${t}_fuzz" "corpus-$t" "${dict[@]}" \
        -max_total_time="$secs" -rss_limit_mb=2048 -malloc_limit_mb=512 -timeout=10 \
        -max_len=8192 -print_final_stats=1 2>"$build/$t.log"); then
    echo "!! $t failed; see $build/$t.log"
    tail -n 40 "$build/$t.log"
    status=1
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::average_exec_per_sec' \
    "$build/$t.log" || true
done
exit $status
