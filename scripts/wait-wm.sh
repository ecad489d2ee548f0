#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Returns once the window manager of $DISPLAY manages new windows: it shows a probe window,
# waits until the window manager has taken it, and closes it again.
#
# usage: scripts/wait-wm.sh [TIMEOUT_SECONDS]   (default 30)
#
# The window manager's check window on the root appears early in its start. openbox reads map
# requests that arrive from then until its start is over without handling them, and then
# sleeps until the next event reaches it: a window mapped in that stretch stays unmapped until
# something else happens on the display. So while it waits this script keeps changing a
# property of the root window, which every window manager listens to.
set -euo pipefail
timeout=${1:-30}
title="window-manager-probe-$$"
property=_TALLYVOX_WM_PROBE

probe_window() {
    xwininfo -name "$title" 2>/dev/null | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\) .*/\1/p'
}

# Sets id to the probe's window once it exists.
managed() {
    id=$(probe_window)
    [ -n "$id" ] && xprop -id "$id" WM_STATE 2>/dev/null | grep -q "window state: Normal"
}

xmessage -title "$title" -geometry +0+0 probe >/dev/null 2>&1 &
probe=$!
trap 'kill $probe 2>/dev/null || true; xprop -root -remove $property 2>/dev/null || true' EXIT
deadline=$((SECONDS + timeout))
count=0
until managed; do
    if ! kill -0 $probe 2>/dev/null; then
        echo "error: the probe window (xmessage) could not start on $DISPLAY" >&2
        exit 1
    fi
    if [ $SECONDS -ge $deadline ]; then
        echo "error: the window manager on $DISPLAY did not manage a window within $timeout s" >&2
        exit 1
    fi
    count=$((count + 1))
    xprop -root -f $property 32c -set $property $count 2>/dev/null || true
    sleep 0.2
done
kill $probe
wait $probe 2>/dev/null || true
# Gone from the window manager's list too, so that nobody started next sees it.
until ! xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -qi "$id\b"; do
    if [ $SECONDS -ge $deadline ]; then
        echo "error: the window manager on $DISPLAY kept the closed probe window" >&2
        exit 1
    fi
    sleep 0.05
done
