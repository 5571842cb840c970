#!/usr/bin/env bash
# Runs a command with an X display: the current one if there is one, else Xvfb with openbox.
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
if ! command -v Xvfb >/dev/null; then
  exec "$@"
fi
display=":$(( 90 + RANDOM % 400 ))"
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY="$display"
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done
wm=""
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  wm=$!
fi
set +e
"$@"
status=$?
set -e
[ -n "$wm" ] && kill "$wm" 2>/dev/null
kill "$xvfb" 2>/dev/null
wait 2>/dev/null || true
exit $status
