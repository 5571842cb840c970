#!/usr/bin/env bash
# Page figures: builds the page, then runs every bench/page/*.bench.js with the built page folder
# and OUTDIR. Each writes one JSON file into OUTDIR shaped like Google Benchmark's output
# ({"benchmarks": [{"name": ..., <figure>: <number>, ...}]}), so scripts/bench.sh merges the
# figures into build/bench-results.json with the others.
#
#   bench/page/run.sh OUTDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
out=${1:?usage: bench/page/run.sh OUTDIR}
mkdir -p "$out"
page=$(mktemp -d)
trap 'rm -rf "$page"' EXIT

"$repo/ui/build-page.sh" "$page"
for script in "$here"/*.bench.js; do
  echo "== $(basename "$script")"
  node "$script" "$page" "$out"
done
