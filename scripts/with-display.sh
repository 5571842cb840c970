#!/usr/bin/env bash
# Runs a command on a private virtual X display: starts Xvfb on a free display number and the
# openbox window manager (JUCE's windows need one: without it they die on an X BadAtom error),
# exports DISPLAY for the command, and stops both when the command ends, fails or is interrupted.
#
#   scripts/with-display.sh COMMAND [ARGS...]
#   e.g. scripts/with-display.sh ctest --test-dir build -R editor
#
# The screen is 1280 x 1024 at 24 bits. Exits with the command's status.
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }

for tool in Xvfb openbox xprop; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing (run scripts/setup.sh)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/brivola-display.XXXXXX")
xvfb_pid=
wm_pid=

stop() {
  local status=$?
  trap - EXIT INT TERM
  # Only the two processes started here, by their ids.
  for pid in $wm_pid $xvfb_pid; do
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null || true
    fi
  done
  rm -rf "$work"
  exit "$status"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# -displayfd: Xvfb picks a free display number itself and writes it once it accepts connections.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; echo "$0: Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$work/display" ] || { echo "$0: Xvfb gave no display number" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display" | tr -d '[:space:]')"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
# The window manager is ready once it announces itself on the root window.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  kill -0 "$wm_pid" 2>/dev/null || { cat "$work/openbox.log" >&2; echo "$0: openbox did not start" >&2; exit 1; }
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' || { echo "$0: openbox did not come up" >&2; exit 1; }

# Every process the command starts inherits this mark, so leftovers can be told from others' processes.
export BRIVOLA_DISPLAY_SESSION="$work"

# Processes started by the command that are still running (an editor's orphaned web helper, say).
# Shell built-ins only: a program started here would carry the mark itself.
leftovers() {
  local environ pid entry entries
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}; pid=${pid%/environ}
    mapfile -d '' entries 2>/dev/null <"$environ" || continue
    for entry in "${entries[@]}"; do
      if [ "$entry" = "BRIVOLA_DISPLAY_SESSION=$work" ]; then echo "$pid"; break; fi
    done
  done
}

echo "Virtual display $DISPLAY (Xvfb $xvfb_pid, openbox $wm_pid)"
status=0
"$@" || status=$?

left=$(leftovers || true)
if [ -n "$left" ]; then
  sleep 2
  left=$(leftovers || true)
fi
if [ -n "$left" ]; then
  echo "$0: processes left running after the command:" >&2
  for pid in $left; do echo "  $pid $(tr '\0' ' ' </proc/"$pid"/cmdline 2>/dev/null)" >&2; done
  for pid in $left; do kill -9 "$pid" 2>/dev/null || true; done
  [ "$status" -ne 0 ] || status=1
fi
exit "$status"
