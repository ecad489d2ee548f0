#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Starts the built program. Without a display it starts a private virtual X session
# (Xvfb, a window manager and a tray) so the program still runs.
set -euo pipefail
bin=${1:-build/tallyvox}
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$bin"
fi
for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
done
echo "No display found: starting a private virtual display :$n (Xvfb, openbox, trayer)."
echo "Look at it with e.g. 'DISPLAY=:$n import -window root shot.png'; stop with Ctrl+C."
Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
export DISPLAY=":$n"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
"$(dirname "$0")/wait-wm.sh" # a window shown before it is ready could stay unmapped
trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
"$bin"
kill "$xvfb" 2>/dev/null || true
