#!/usr/bin/env bash
# Runs a command with an X display. When DISPLAY is already set it is used as it is; otherwise a
# private Xvfb (on a free display number) and the openbox window manager are started for the
# command and stopped afterwards. JUCE's windows need a window manager under Xvfb.
# Usage: with-xvfb.sh COMMAND [ARGS...]
set -euo pipefail

if [ -n "${DISPLAY:-}" ]; then
    exec "$@"
fi

for tool in Xvfb openbox xprop; do
    command -v "$tool" >/dev/null || { echo "with-xvfb.sh: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/brivola-xvfb-XXXXXX")
xvfbPid=""
openboxPid=""
cleanup()
{
    [ -n "$openboxPid" ] && kill "$openboxPid" 2>/dev/null && wait "$openboxPid" 2>/dev/null
    [ -n "$xvfbPid" ] && kill "$xvfbPid" 2>/dev/null && wait "$xvfbPid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number and writes it to the pipe once it accepts clients.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfbPid=$!
if ! read -r -t 20 number <"$work/display"; then
    cat "$work/xvfb.log" >&2
    echo "with-xvfb.sh: Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=":$number"

# openbox with its own empty configuration home, so no user settings change its behaviour.
mkdir -p "$work/config"
XDG_CONFIG_HOME="$work/config" openbox >"$work/openbox.log" 2>&1 &
openboxPid=$!
for _ in $(seq 1 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
    cat "$work/openbox.log" >&2
    echo "with-xvfb.sh: openbox did not start" >&2
    exit 1
fi

status=0
"$@" || status=$?
exit $status
