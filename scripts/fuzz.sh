#!/usr/bin/env bash
# Builds the sanitizer targets with clang and runs them: the host-state fuzzer (libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer), seeded with real saved states, and the dish view
# stress under ThreadSanitizer.
# Usage: scripts/fuzz.sh [seconds]    (default 600; the test command runs it for 20 seconds)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
build=${BRIVOLA_FUZZ_DIR:-"$repo/build/fuzz"}

[ -f "$repo/.cache/juce/juce-8.0.6/.brivola-complete" ] || "$repo/scripts/fetch-juce.sh"
cmake -S "$repo/tests/fuzz" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)"

corpus="$build/corpus/host_state"
mkdir -p "$corpus"
cd "$build"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ./host_state_fuzzer -max_total_time="$seconds" -max_len=300000 -timeout=10 -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
echo "host-state fuzzing: no faults in $seconds s"
TSAN_OPTIONS=halt_on_error=1 ./dish_view_stress 3
