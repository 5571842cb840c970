#!/usr/bin/env bash
# Builds and runs every benchmark in bench/ and writes all their figures (the user counters the
# benchmarks report, named after the figure) into one flat JSON object: build/bench-results.json.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
export CCACHE_BASEDIR="$repo"

"$repo/scripts/setup.sh"
build=$("$repo/scripts/configure.sh" -DBRIVOLA_BUILD_BENCH=ON)
cmake --build "$build" -j"$(nproc)"

out="$build/bench"
mkdir -p "$out"
rm -f "$out"/*.json
for exe in "$build"/bench/brivola_*_bench; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  echo "== $name"
  "$exe" --benchmark_format=console --benchmark_out="$out/$name.json" --benchmark_out_format=json
done

# The page's figures: headless Chromium, and WebKitGTK on a private virtual display.
"$repo/bench/page/run.sh" "$out"

python3 - "$out" "$build/bench-results.json" <<'PY'
import json, pathlib, sys
skip = {"name", "run_name", "run_type", "repetitions", "repetition_index", "threads", "iterations",
        "real_time", "cpu_time", "time_unit", "family_index", "per_family_instance_index",
        "aggregate_name", "aggregate_unit", "label", "error_occurred", "error_message",
        "items_per_second", "bytes_per_second"}
figures = {}
for f in sorted(pathlib.Path(sys.argv[1]).glob("*.json")):
    for b in json.loads(f.read_text()).get("benchmarks", []):
        for key, value in b.items():
            if key not in skip and isinstance(value, (int, float)):
                figures[key] = value
pathlib.Path(sys.argv[2]).write_text(json.dumps(figures, indent=2, sort_keys=True) + "\n")
print(f"{len(figures)} figures written to {sys.argv[2]}")
for k in sorted(figures):
    print(f"  {k}: {figures[k]:.6g}")
PY
