#!/usr/bin/env bash
# Set-up, build, install the VST3 (and on Linux the LV2) for the current user, render a short
# demonstration through the real bundle with the headless host and say how to start the stand-alone
# application. Prints the path of the WAV file.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
export CCACHE_BASEDIR="$repo"

"$repo/scripts/setup.sh"
build=$("$repo/scripts/configure.sh" -DBRIVOLA_BUILD_TESTS=OFF -DBRIVOLA_BUILD_BENCH=OFF)
targets=(Brivola_VST3 Brivola_Standalone brivola-host)
[ "$(uname -s)" = Linux ] && targets+=(Brivola_LV2)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

bundle="$build/plugin/Brivola_artefacts/Release/VST3/Brivola.vst3"
mkdir -p "$HOME/.vst3"
rm -rf "$HOME/.vst3/Brivola.vst3"
cp -R "$bundle" "$HOME/.vst3/"
echo "Installed $HOME/.vst3/Brivola.vst3"

if [ "$(uname -s)" = Linux ]; then
  lv2="$build/plugin/Brivola_artefacts/Release/LV2/Brivola.lv2"
  mkdir -p "$HOME/.lv2"
  rm -rf "$HOME/.lv2/Brivola.lv2"
  cp -R "$lv2" "$HOME/.lv2/"
  echo "Installed $HOME/.lv2/Brivola.lv2"
fi

out="$build/demo/brivola-demo.wav"
mkdir -p "$(dirname "$out")"
# A phrase over the seeded dish with a little reverb and chorus; 48 kHz, irregular blocks.
"$build/tools/brivola-host" --render "$out" --pattern demo --rate 48000 --blocks 256,512,128 \
    --set reverb=0.45 --set chorus=0.3 --set delay=1 --tail 6 --require-sound --quiet \
    "$HOME/.vst3/Brivola.vst3"
echo "Demo rendered: $out"
standalone="$build/plugin/Brivola_artefacts/Release/Standalone/Brivola"
[ -d "$standalone.app" ] && standalone="$standalone.app/Contents/MacOS/Brivola"
echo "Stand-alone application: $standalone (its Options button opens the audio and MIDI settings)"
