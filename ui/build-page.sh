#!/usr/bin/env bash
# Builds the embedded page into OUTDIR: index.html, style.css (ours followed by the views' own
# src/*/*.css), ui.js (one minified bundle of src/), OutfitLatin.woff2 and the four grain textures.
# Installs the pinned npm packages first when node_modules is missing or older than the lockfile.
#
#   ui/build-page.sh OUTDIR
set -euo pipefail
ui=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: build-page.sh OUTDIR}
mkdir -p "$out"

# One build at a time per checkout: parallel builds would both run npm ci on the same folder.
exec 9>"$ui/.build-page.lock"
flock 9

stamp="$ui/node_modules/.package-lock.json"
if [ ! -f "$stamp" ] || [ "$ui/package-lock.json" -nt "$stamp" ]; then
  (cd "$ui" && npm ci --no-audit --no-fund --loglevel=error)
  touch "$stamp"
fi

node "$ui/tools/bundle.js" "$out/ui.js"
cp "$ui/index.html" "$out/"
# One style sheet: the shell's, then each view's own (src/<view>/*.css) in a fixed order.
shopt -s nullglob
view_css=("$ui"/src/*/*.css)
cat "$ui/style.css" "${view_css[@]}" > "$out/style.css"
cp "$ui/node_modules/@fontsource-variable/outfit/files/outfit-latin-wght-normal.woff2" "$out/OutfitLatin.woff2"
node "$ui/tools/grain.js" "$out"
