#!/usr/bin/env bash
# Gives every fuzz target a bounded run over its seed corpus. Usage: fuzz.sh <builddir> [seconds]
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-10}
corpus=tests/fuzz/corpus
declare -A seeds=([fuzz_duration]=duration [fuzz_taskfile]=taskfile [fuzz_ini]=ini
                  [fuzz_decode]=decode [fuzz_version]=version [fuzz_upd]=upd)
status=0
for target in "${!seeds[@]}"; do
    work=$(mktemp -d)
    cp "$corpus/${seeds[$target]}"/* "$work"/
    printf '%-14s ' "$target"
    if "$build/tests/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=1024 -max_len=4096 \
            -timeout=10 -artifact_prefix="$build/$target-" "$work" >"$build/$target.log" 2>&1; then
        grep -Eo 'Done [0-9]+ runs in [0-9]+ second.s.' "$build/$target.log" | tail -1 || echo done
    else
        echo "FAILED (see $build/$target.log)"
        status=1
    fi
    rm -rf "$work"
done
exit $status
