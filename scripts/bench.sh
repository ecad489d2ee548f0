#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every benchmark program in <builddir>/bench, then the start-up and idle measurements of
# the real program (bench/startup.py, under a private Xvfb), and prints one table. A benchmark
# "X/N" is set beside its reference "RawX/N" (the plain operation on the same data) when there
# is one. Benchmarks labelled "cpu time" are shown by processor time, the others by wall time.
# BENCH_IDLE_SECONDS (default 60) shortens the idle runs for a quick check.
set -euo pipefail
build=${1:-build}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
dir="$build/bench"
[ -d "$dir" ] || { echo "No benchmarks in $dir (configure with -DTALLYVOX_BUILD_BENCH=ON)" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
found=0
for exe in "$dir"/*; do
    [ -f "$exe" ] && [ -x "$exe" ] || continue
    found=1
    echo "running $(basename "$exe") ..." >&2
    "$exe" --benchmark_format=json --benchmark_out="$out/$(basename "$exe").json" \
        --benchmark_out_format=json >/dev/null
done
[ "$found" = 1 ] || { echo "No benchmark programs in $dir" >&2; exit 1; }
if [ -x "$build/tallyvox" ]; then
    echo "running startup.py (start-up and ${BENCH_IDLE_SECONDS:-60} s idle runs) ..." >&2
    python3 "$source_dir/bench/startup.py" "$build/tallyvox" "$out/startup.rows" >&2 \
        || echo "startup.py failed: start-up and idle figures left out" >&2
    echo "running remote.py (status followers and one-off commands) ..." >&2
    python3 "$source_dir/bench/remote.py" "$build/tallyvox" "$out/remote.rows" >&2 \
        || echo "remote.py failed: the remote's figures left out" >&2
else
    echo "No $build/tallyvox: start-up and idle figures left out" >&2
fi
python3 - "$out" <<'PY'
import json, os, sys

# References that are not named Raw...: the same lookup without opening the file.
EXPLICIT_REFERENCES = {"BM_InactivityCheckReads/0": "BM_IniLookupInMemory"}
# Figures measured against a goal rather than against another benchmark: (goal in ns, text).
GOALS = {"GuiTrackingTick/1000": (1e6, "< 1 ms on the user-interface thread"),
         "HistoryReportYear": (50e6, "<= 50 ms (one year, in the process)"),
         "LoadTasks/100000": (50e6, "<= 50 ms")}
# Goals for the ratio to the Raw... reference, shown beside it.
RATIO_GOALS = {"SaveTasks": "1.5x", "TrackingTick": "1.5x", "ReportCommand": "2x"}

def fmt(ns):
    for unit, scale in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if ns >= scale:
            return f"{ns / scale:.3g} {unit}"
    return f"{ns:.3g} ns"

scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}
results = {}
order = []
labels = {}
rss = {}  # peak resident memory in MiB, where a benchmark measures it
for name in sorted(os.listdir(sys.argv[1])):
    if not name.endswith(".json"):
        continue
    with open(os.path.join(sys.argv[1], name)) as f:
        for b in json.load(f).get("benchmarks", []):
            if b.get("run_type", "iteration") != "iteration":
                continue
            key = b["name"]
            if b.get("error_occurred"):
                continue
            cpu = b.get("label") == "cpu time"
            labels[key] = " (cpu)" if cpu else ""
            results[key] = b["cpu_time" if cpu else "real_time"] * scale.get(b.get("time_unit", "ns"), 1)
            if "maxrss_MiB" in b:
                rss[key.split("/iterations")[0]] = b["maxrss_MiB"]
            order.append(key)

def reference(key):
    if key in EXPLICIT_REFERENCES:
        return EXPLICIT_REFERENCES[key] if EXPLICIT_REFERENCES[key] in results else None
    base, _, arg = key.partition("/")
    ref = "Raw" + base + ("/" + arg if arg else "")
    return ref if ref in results and not base.startswith("Raw") else None

rows = [("measure", "figure", "reference", "ratio")]
for key in order:
    if key.startswith("ReportMemory/"):
        continue  # its figure is the memory row below
    if key.split("/")[0].startswith("Raw") and key[3:] in results:
        continue  # shown beside the benchmark it is the reference of
    ref = reference(key)
    if key in EXPLICIT_REFERENCES.values():
        continue
    if key in GOALS:
        goal, text = GOALS[key]
        rows.append((key + labels[key], fmt(results[key]), text, f"{results[key] / goal:.2f}x"))
        continue
    if ref and key.split("/")[0] in RATIO_GOALS:
        ratio = results[key] / results[ref] if results[ref] > 0 else 0
        rows.append((key + labels[key], fmt(results[key]),
                     f"{fmt(results[ref])} (goal <= {RATIO_GOALS[key.split('/')[0]]})", f"{ratio:.2f}x"))
        continue
    rows.append((key + labels[key], fmt(results[key]), fmt(results[ref]) if ref else "-",
                 f"{results[key] / results[ref]:.2f}x" if ref and results[ref] > 0 else "-"))
if "ReportMemory/1" in rss and "ReportMemory/10" in rss:
    one, ten = rss["ReportMemory/1"], rss["ReportMemory/10"]
    rows.append(("--report peak RSS, 10 years of history", f"{ten:.1f} MiB",
                 f"{one:.1f} MiB (one year; goal: no growth)", f"{ten / one:.2f}x"))
for extra in ("startup.rows", "remote.rows"):
    extra = os.path.join(sys.argv[1], extra)
    if os.path.exists(extra):
        with open(extra) as f:
            rows.extend(tuple(r) for r in json.load(f))
widths = [max(len(r[i]) for r in rows) for i in range(4)]
for i, r in enumerate(rows):
    print(" | ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip())
    if i == 0:
        print("-+-".join("-" * w for w in widths))
PY
