#!/usr/bin/env bash
# Runs a command with an X display. When DISPLAY is already set it is used as it is; otherwise a
# private Xvfb and the openbox window manager are started for the command and stopped afterwards.
# JUCE's windows need a window manager under Xvfb.
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

# A display number chosen at random from a high range, so that other virtual displays on a shared
# machine are unlikely to be hit; Xvfb writes the number to the pipe once it accepts clients, and
# exits at once when the number is taken. openbox must come up on it too, or the next number is tried.
startDisplay()
{
    local number=$1 got=""
    rm -f "$work/display"
    mkfifo "$work/display"
    Xvfb ":$number" -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfbPid=$!
    read -r -t 20 got <"$work/display" || got=""
    if [ "$got" != "$number" ]; then
        kill "$xvfbPid" 2>/dev/null; wait "$xvfbPid" 2>/dev/null; xvfbPid=""
        return 1
    fi
    export DISPLAY=":$number"

    # openbox with its own empty configuration home, so no user settings change its behaviour.
    mkdir -p "$work/config"
    XDG_CONFIG_HOME="$work/config" openbox >"$work/openbox.log" 2>&1 &
    openboxPid=$!
    for _ in $(seq 1 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
        kill -0 "$openboxPid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$openboxPid" 2>/dev/null; wait "$openboxPid" 2>/dev/null; openboxPid=""
    kill "$xvfbPid" 2>/dev/null; wait "$xvfbPid" 2>/dev/null; xvfbPid=""
    unset DISPLAY
    return 1
}

started=0
for _ in $(seq 1 10); do
    if startDisplay $(( 100 + RANDOM % 900 )); then
        started=1
        break
    fi
done
if [ "$started" -ne 1 ]; then
    cat "$work/xvfb.log" "$work/openbox.log" >&2 2>/dev/null || true
    echo "with-xvfb.sh: could not start Xvfb and openbox" >&2
    exit 1
fi

status=0
"$@" || status=$?
exit $status
