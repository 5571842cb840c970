#!/usr/bin/env bash
# Set-up, build and every test: unit tests, integration tests through the real VST3 bundle with
# our host (the editor ones in a real window on a virtual display), and the host's robustness run.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
export CCACHE_BASEDIR="$repo"
start=$(date +%s)

"$repo/scripts/setup.sh"
build=$("$repo/scripts/configure.sh" -DBRIVOLA_BUILD_TESTS=ON -DBRIVOLA_BUILD_BENCH=OFF)
cmake --build "$build" -j"$(nproc)"

# The editor tests open real windows: ctest runs on a private virtual display (Xvfb and openbox,
# started here and stopped at the end, also when a test fails or the run is interrupted).
# When tests fail, a digest of their outputs closes the log, so that the reason is at its end.
status=0
"$repo/scripts/with-display.sh" ctest --test-dir "$build" --output-on-failure -j1 || status=$?
if [ "$status" -ne 0 ]; then
  python3 "$repo/scripts/failed-tests-digest.py" "$build" || true
  echo "Tests failed (ctest exit code $status) after $(( $(date +%s) - start )) s."
  exit "$status"
fi

echo "Tests took $(( $(date +%s) - start )) s (set-up and build included)."
