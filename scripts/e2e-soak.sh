#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the end-to-end suite (`ctest -L e2e`) again and again on a busy machine: two CPU-bound
# processes at normal priority and a second virtual X session whose window repaints about
# fifty times a second run beside it the whole time. Everything it starts it also ends.
#
# usage: scripts/e2e-soak.sh [-n RUNS] [-j JOBS] [BUILD_DIR]
#   RUNS       how many times to run the suite (default 20)
#   JOBS       scenarios run side by side within one run (ctest -j, default: cores, as make test)
#   BUILD_DIR  a configured and built tree (default build)
# Exit code 0 when every run passed. Logs of failed runs stay in BUILD_DIR/e2e-soak/.
set -euo pipefail

runs=20
jobs=$(nproc)
while getopts "n:j:h" opt; do
    case $opt in
        n) runs=$OPTARG ;;
        j) jobs=$OPTARG ;;
        *) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
build=${1:-build}
if [ ! -x "$build/tallyvox" ]; then
    echo "error: $build/tallyvox does not exist; build first (make build)" >&2
    exit 2
fi
for tool in Xvfb openbox animate xprop xwininfo xmessage ctest; do
    command -v "$tool" >/dev/null || { echo "error: $tool is not installed (scripts/install-deps.sh)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tallyvox-soak-XXXXXX")
started=()
cleanup() {
    local pid
    for pid in "${started[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${started[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Polls a command until it succeeds; fails the whole soak naming what never came.
wait_until() {
    local what=$1 deadline=$((SECONDS + 20))
    shift
    until "$@" >/dev/null 2>&1; do
        if [ $SECONDS -ge $deadline ]; then
            echo "error: timed out waiting for $what" >&2
            exit 1
        fi
        sleep 0.1
    done
}

# --- the load ------------------------------------------------------------------------------
for _ in 1 2; do
    yes >/dev/null &
    started+=($!)
done

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
started+=($!)
wait_until "the second X server" grep -q . "$work/display"
SOAK_DISPLAY=":$(head -n1 "$work/display")"
export SOAK_DISPLAY
HOME=$work DISPLAY=$SOAK_DISPLAY openbox --sm-disable >"$work/openbox.log" 2>&1 &
started+=($!)
DISPLAY=$SOAK_DISPLAY "$(dirname "$0")/wait-wm.sh" 20
# Four full-window frames shown in turn every 20 ms: the server, the window manager and the
# X clients of the machine all get a steady stream of exposures and image uploads.
HOME=$work DISPLAY=$SOAK_DISPLAY animate -title repainting -delay 2 -loop 0 -size 800x600 \
    xc:red xc:green plasma:blue-yellow xc:navy >"$work/animate.log" 2>&1 &
started+=($!)
wait_until "the repainting window" \
    sh -c 'DISPLAY=$SOAK_DISPLAY xwininfo -name repainting | grep -q IsViewable'

alive() {
    local pid
    for pid in "${started[@]}"; do
        kill -0 "$pid" 2>/dev/null || return 1
    done
}

# --- the runs ------------------------------------------------------------------------------
logs="$build/e2e-soak"
mkdir -p "$logs"
echo "e2e soak: $runs runs of ctest -L e2e -j $jobs on $build; load: 2 x yes, $SOAK_DISPLAY repainting"
passed=0
for ((run = 1; run <= runs; run++)); do
    if ! alive; then
        echo "error: a load process ended early; see $work" >&2
        exit 1
    fi
    begin=$SECONDS
    if ctest --test-dir "$build" -L e2e -j "$jobs" --output-on-failure >"$work/run.log" 2>&1; then
        passed=$((passed + 1))
        result=passed
    else
        result="FAILED ($(grep -cE '\*\*\*Failed|\*\*\*Timeout' "$work/run.log") tests; log in $logs/run-$run.log)"
        cp "$work/run.log" "$logs/run-$run.log"
        grep -E '^(FAILED|.*\*\*\*(Failed|Timeout))' "$work/run.log" | sed 's/^/    /' || true
    fi
    echo "run $run/$runs: $result in $((SECONDS - begin)) s"
done
echo "e2e soak: $passed of $runs runs passed"
[ "$passed" -eq "$runs" ]
