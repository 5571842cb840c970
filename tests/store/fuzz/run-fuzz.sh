#!/usr/bin/env bash
# Builds the libFuzzer target for the shared document reader (clang, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it on the seed corpus. Arguments go to libFuzzer.
#
#   tests/store/fuzz/run-fuzz.sh                          # short fixed run: 50000 inputs, seed 1
#   tests/store/fuzz/run-fuzz.sh -max_total_time=3600     # as long as wanted (here one hour)
#
# BRIVOLA_FUZZ_BUILD names the build folder (default: build/fuzz-store in the repository).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../../.." && pwd)
build=${BRIVOLA_FUZZ_BUILD:-$repo/build/fuzz-store}

mkdir -p "$build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >"$build/configure.log" 2>&1 \
    || { cat "$build/configure.log"; exit 1; }
fi
cmake --build "$build" --target parse_shared_document_fuzzer >"$build/build.log" 2>&1 \
  || { tail -50 "$build/build.log"; exit 1; }

# New inputs found go to a work corpus beside the build; the seeds in the repository stay as they are.
mkdir -p "$build/corpus"
args=("$@")
[ ${#args[@]} -eq 0 ] && args=(-runs=50000 -seed=1)

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
exec "$build/parse_shared_document_fuzzer" -dict="$here/json.dict" -max_len=65536 -timeout=10 \
     -artifact_prefix="$build/" "${args[@]}" "$build/corpus" "$here/corpus"
