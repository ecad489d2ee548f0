#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Gives every fuzz target a bounded run over its seed corpus. Usage: fuzz.sh <builddir> [seconds]
# With FUZZ_RUNS=<n> every target runs n inputs instead, within at most the seconds (default
# 1800); a target that ran fewer inputs than asked for within them counts as failed.
set -euo pipefail
build=${1:-build-fuzz}
runs=${FUZZ_RUNS:-}
seconds=${2:-$([ -n "$runs" ] && echo 1800 || echo 10)}
bound=(-max_total_time="$seconds")
[ -n "$runs" ] && bound+=(-runs="$runs")
corpus=tests/fuzz/corpus
declare -A seeds=([fuzz_duration]=duration [fuzz_taskfile]=taskfile [fuzz_ini]=ini
                  [fuzz_decode]=decode [fuzz_version]=version [fuzz_upd]=upd)
status=0
for target in "${!seeds[@]}"; do
    work=$(mktemp -d)
    cp "$corpus/${seeds[$target]}"/* "$work"/
    printf '%-14s ' "$target"
    if "$build/tests/fuzz/$target" "${bound[@]}" -rss_limit_mb=1024 -max_len=4096 \
            -timeout=10 -artifact_prefix="$build/$target-" "$work" >"$build/$target.log" 2>&1; then
        done_line=$(grep -Eo 'Done [0-9]+ runs in [0-9]+ second.s.' "$build/$target.log" | tail -1 || true)
        done_runs=$(echo "$done_line" | grep -Eo '[0-9]+' | head -1 || true)
        if [ -z "$done_runs" ]; then
            echo "FAILED: no run count in $build/$target.log"
            status=1
        elif [ -n "$runs" ] && [ "$done_runs" -lt "$runs" ]; then
            echo "FAILED: $done_runs of $runs runs within $seconds s"
            status=1
        else
            echo "$done_line"
        fi
    else
        echo "FAILED (see $build/$target.log)"
        status=1
    fi
    rm -rf "$work"
done
exit $status
