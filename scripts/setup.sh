#!/usr/bin/env bash
# Installs what building and testing Brivola needs on Debian 12, then fetches JUCE 8.0.6.
# The tests that open windows (the editor, the uninstaller) run on a virtual display: Xvfb, the
# openbox window manager, x11-utils (xprop), xdotool (key presses) and imagemagick (screenshots of
# the uninstaller's window). Chromium runs the page's browser tests; python3-gi with WebKitGTK's
# typelib measures the page's frame times in the editor's own web engine. lilv-utils (lv2info, lv2ls)
# checks the LV2 bundle's description.
# Safe to run again: it installs only what is missing and reuses the JUCE cache.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev python3
  libasound2-dev libfreetype-dev libfontconfig1-dev libx11-dev libxrandr-dev libxinerama-dev
  libxcursor-dev libxext-dev libgtk-3-dev libwebkit2gtk-4.1-dev libjpeg-dev libpng-dev zlib1g-dev
  libflac-dev libvorbis-dev libogg-dev libfftw3-dev libhwy-dev
  libgtest-dev libbenchmark-dev libzita-convolver-dev
  clang libclang-rt-14-dev
  xvfb openbox x11-utils xdotool imagemagick fonts-dejavu-core chromium
  python3-gi gir1.2-webkit2-4.1 lilv-utils
)
optional=(ccache)

# Node.js with npm builds the editor's page (ui/build-page.sh). Use the machine's own when there is
# one: a Node.js from another source may bundle npm, and Debian's npm package would replace it.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
for p in "${optional[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    apt-cache show "$p" >/dev/null 2>&1 && missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
  else
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
fi

"$repo/scripts/fetch-juce.sh"
