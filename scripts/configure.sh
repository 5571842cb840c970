#!/usr/bin/env bash
# Configures the build folder (default: <repo>/build) with Ninja, Release, ccache when present.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BRIVOLA_BUILD_DIR:-"$repo/build"}
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
echo "$build"
