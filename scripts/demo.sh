#!/usr/bin/env bash
# Set-up, build, install the VST3 for the current user and render a short demonstration through the
# real bundle with the headless host. Prints the path of the WAV file.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
export CCACHE_BASEDIR="$repo"

"$repo/scripts/setup.sh"
build=$("$repo/scripts/configure.sh" -DBRIVOLA_BUILD_TESTS=OFF -DBRIVOLA_BUILD_BENCH=OFF)
cmake --build "$build" -j"$(nproc)" --target Brivola_VST3 brivola-host

bundle="$build/plugin/Brivola_artefacts/Release/VST3/Brivola.vst3"
mkdir -p "$HOME/.vst3"
rm -rf "$HOME/.vst3/Brivola.vst3"
cp -R "$bundle" "$HOME/.vst3/"
echo "Installed $HOME/.vst3/Brivola.vst3"

out="$build/demo/brivola-demo.wav"
mkdir -p "$(dirname "$out")"
# A phrase over the seeded dish with a little reverb and chorus; 48 kHz, irregular blocks.
"$build/tools/brivola-host" --render "$out" --pattern demo --rate 48000 --blocks 256,512,128 \
    --set reverb=0.45 --set chorus=0.3 --set delay=1 --tail 6 --require-sound --quiet \
    "$HOME/.vst3/Brivola.vst3"
echo "Demo rendered: $out"
