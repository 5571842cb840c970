#!/usr/bin/env bash
# Fetches JUCE 8.0.6 as Debian's source package (trixie), verified by apt's signature and hash checks
# and by the SHA-256 sums pinned below, and unpacks it into the git-ignored cache folder.
# The system's apt configuration is left untouched: a private sources list and lists folder are used.
# Usage: scripts/fetch-juce.sh [cache-dir]   (default: <repo>/.cache/juce)
set -euo pipefail

JUCE_VERSION="8.0.6+ds-2"
SHA_DSC="875f60aa9810331de2b41dcc3b2d3af86dbcb8bbb4571b30d26e34cc3f96db58"
SHA_ORIG="4126ec8066866a1ccbc9cdd2beac712fd51e55ac7f24d8fdc45077b187a358ef"
SHA_DEBIAN="98f781365d85d35639b5c47416b769c3d68ad9858c8559fc6c80bb95710976a1"

repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${1:-"$repo/.cache/juce"}
src="$cache/juce-8.0.6"

if [ -f "$src/.brivola-complete" ]; then
  echo "JUCE 8.0.6 already in $src"
  exit 0
fi

command -v apt-get >/dev/null || { echo "apt-get is needed to fetch JUCE's source package" >&2; exit 1; }
command -v dpkg-source >/dev/null || { echo "dpkg-dev is needed: apt-get install dpkg-dev" >&2; exit 1; }

# The mirror this machine already uses for Debian's main archive.
mirror=""
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  while read -r uri; do
    case "$uri" in *security*) continue ;; esac
    mirror="$uri"; break
  done < <(awk '/^URIs:/ { for (i = 2; i <= NF; i++) print $i }' "$f")
  [ -n "$mirror" ] && break
done
if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
  mirror=$(awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z+]+:\/\//) { print $i; exit } }' /etc/apt/sources.list)
fi
[ -n "$mirror" ] || { echo "could not find a Debian mirror in the apt configuration" >&2; exit 1; }

keyring=/usr/share/keyrings/debian-archive-keyring.gpg
work="$cache/apt"
rm -rf "$work" "$src"
mkdir -p "$work/lists/partial" "$work/archives/partial" "$work/download"
echo "deb-src [signed-by=$keyring] $mirror trixie main" > "$work/sources.list"

aptopts=(
  -o "Dir::Etc::SourceList=$work/sources.list"
  -o "Dir::Etc::SourceParts=/dev/null"
  -o "Dir::State::Lists=$work/lists"
  -o "Dir::Cache::Archives=$work/archives"
  -o "Dir::Cache::pkgcache="
  -o "Dir::Cache::srcpkgcache="
  -o "APT::Get::List-Cleanup=0"
  -o "Debug::NoLocking=1"
  -o "APT::Sandbox::User=root"
)

echo "Fetching JUCE $JUCE_VERSION source package from Debian trixie"
apt-get -q "${aptopts[@]}" update
( cd "$work/download" && apt-get -q "${aptopts[@]}" --only-source --download-only source "juce=$JUCE_VERSION" )

cd "$work/download"
check() {
  local file=$1 want=$2 got
  got=$(sha256sum "$file" | cut -d' ' -f1)
  if [ "$got" != "$want" ]; then
    echo "SHA-256 mismatch for $file: $got (expected $want)" >&2
    exit 1
  fi
}
check juce_8.0.6+ds-2.dsc "$SHA_DSC"
check juce_8.0.6+ds.orig.tar.xz "$SHA_ORIG"
check juce_8.0.6+ds-2.debian.tar.xz "$SHA_DEBIAN"

# Unpack and apply Debian's patches (system zlib, libpng, libjpeg, FLAC, Vorbis). The .dsc's own
# signature is the uploader's (not in the archive keyring); apt has already checked the archive's
# signature and hashes, and the pinned sums above match.
if ! dpkg-source -x juce_8.0.6+ds-2.dsc "$src.tmp" >"$work/dpkg-source.log" 2>&1; then
  cat "$work/dpkg-source.log" >&2
  exit 1
fi
mv "$src.tmp" "$src"
touch "$src/.brivola-complete"
rm -rf "$work"
echo "JUCE 8.0.6 unpacked in $src"
