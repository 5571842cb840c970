#!/usr/bin/env bash
# Builds the sanitizer targets with clang and runs them: three libFuzzer targets under
# AddressSanitizer and UndefinedBehaviorSanitizer (the host-state reader, seeded with real saved
# states, the shared document reader and the page-event listeners, both seeded from
# tests/fuzz/corpus with the JSON dictionary),
# then the dish view stress under ThreadSanitizer.
# Usage: scripts/fuzz.sh [seconds per fuzzer]   (default 600; the test command runs 20 seconds)
# Inputs that find new paths are kept in build/fuzz/corpus; a crashing input is written to
# build/fuzz/crash-* and reproduced with: build/fuzz/<fuzzer> build/fuzz/crash-...
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
export CCACHE_BASEDIR="$repo"
seconds=${1:-600}
build=${BRIVOLA_FUZZ_DIR:-"$repo/build/fuzz"}

[ -f "$repo/.cache/juce/juce-8.0.6/.brivola-complete" ] || "$repo/scripts/fetch-juce.sh"
cmake -S "$repo/tests/fuzz" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)"

mkdir -p "$build/corpus/host_state" "$build/corpus/shared_document" "$build/corpus/page_events"
cd "$build"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run() {
  local name=$1; shift
  local log="$build/$name.log"
  if ! "./$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 "$@" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "$name: FAULT (see $log)"
    exit 1
  fi
  echo "$name: no faults in $seconds s ($(grep -m1 number_of_executed_units "$log" | awk '{print $2}') inputs)"
}
run host_state_fuzzer -max_len=300000 corpus/host_state
run shared_document_fuzzer -max_len=65536 -dict="$repo/tests/fuzz/json.dict" corpus/shared_document "$repo/tests/fuzz/corpus/shared_document"
run page_events_fuzzer -max_len=4096 -dict="$repo/tests/fuzz/json.dict" corpus/page_events "$repo/tests/fuzz/corpus/page_events"
TSAN_OPTIONS=halt_on_error=1 ./dish_view_stress 3
