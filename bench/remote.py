#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""What the command-line remote costs: status followers and one-off commands.

    remote.py <tallyvox binary> <rows.json>

In the private X session of the end-to-end tests, with a portable copy whose data folder is in
memory (so the disk's fsync does not blur the figures), a task runs in the tray while 0, 1 and 20
`--status --follow` processes are attached; the program's processor time over each run, and the
one follower's own, are read from /proc. Then each one-off command is run BENCH_REMOTE_CALLS
times beside /bin/true and `tallyvox --version`, its processor time taken from wait4.

Environment: BENCH_IDLE_SECONDS (default 60) is the length of each run, BENCH_REMOTE_CALLS
(default 20) the number of calls per one-off command.
"""

import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from startup import Portable, hide_to_tray, proc_counters, start_first_task  # noqa: E402
from xsession import XSession  # noqa: E402

FOLLOWER_CPU_MS = 5.0    # per 60 s, the follower's own
ONE_FOLLOWER_RATIO = 1.1  # the program's tracking cost with one follower against none
MANY_FOLLOWERS_RATIO = 1.5


def cpu_ms(pid):
    return proc_counters(pid)[0]


def follower_cpu_ms(pid):
    """A follower reads in a child of the process started; both count."""
    with open(f"/proc/{pid}/task/{pid}/children") as f:
        return cpu_ms(pid) + sum(cpu_ms(int(child)) for child in f.read().split())


def followers(app, count):
    return [subprocess.Popen([app.binary, "--status", "--follow", "--format=waybar"], env=app.session.env,
                             cwd=app.folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(count)]


def tail_reference(root, seconds):
    """CPU per 60 s of `tail -f` on a file that gets a line a second: what merely waking up
    once a second to copy a line costs on this machine, the floor under any follower."""
    path = os.path.join(root, "lines")
    open(path, "w").close()
    tail = subprocess.Popen(["tail", "-f", path], stdout=subprocess.DEVNULL)
    done = threading.Event()

    def feed():
        while not done.wait(1.0):
            with open(path, "a") as f:
                f.write('{"text": "Task number 0 0:01", "class": "active"}\n')
    threading.Thread(target=feed, daemon=True).start()
    try:
        time.sleep(2)
        before = cpu_ms(tail.pid)
        began = time.monotonic()
        time.sleep(seconds)
        return (cpu_ms(tail.pid) - before) * 60.0 / (time.monotonic() - began)
    finally:
        done.set()
        tail.kill()
        tail.wait()


def tracking_run(app, seconds, count):
    """The program's CPU per 60 s with `count` followers attached, and the first follower's."""
    hide_to_tray(app, start_first_task(app, 10))
    attached = followers(app, count)
    try:
        time.sleep(3)  # start-up work and the followers' first lines settle
        counters = [lambda: cpu_ms(app.proc.pid)] + [lambda: follower_cpu_ms(f.pid) for f in attached[:1]]
        before = [counter() for counter in counters]
        began = time.monotonic()
        time.sleep(seconds)
        after = [counter() for counter in counters]
        scale = 60.0 / (time.monotonic() - began)
        if app.proc.poll() is not None or any(f.poll() is not None for f in attached):
            raise RuntimeError("the program or a follower ended during the run")
        costs = [(a - b) * scale for a, b in zip(after, before)]
        return costs[0], costs[1] if count else None
    finally:
        app.stop()
        for f in attached:
            f.kill()
            f.wait()


def call_cpu_ms(argv, env, calls):
    """Median processor time (user + system) of one call, in ms."""
    times = []
    for _ in range(calls):
        proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, _, usage = os.wait4(proc.pid, 0)
        proc.returncode = 0
        times.append((usage.ru_utime + usage.ru_stime) * 1000.0)
    return statistics.median(times)


def one_off_rows(app, calls):
    hide_to_tray(app, start_first_task(app, 10))
    try:
        env = app.session.env
        true_ms = call_cpu_ms(["/bin/true"], env, calls)
        version_ms = call_cpu_ms([app.binary, "--version"], env, calls)
        rows = []
        for args in (["--status"], ["--status", "--format=waybar"], ["--toggle-tracking"]):
            ms = call_cpu_ms([app.binary, *args], env, calls)
            rows.append([f"tallyvox {' '.join(args)}: CPU per call (median of {calls})", f"{ms:.1f} ms",
                         f"{version_ms:.1f} ms (--version); /bin/true {true_ms:.2f} ms",
                         f"{ms / version_ms:.2f}x"])
        return rows
    finally:
        app.stop()


def main():
    binary, out_path = sys.argv[1], sys.argv[2]
    seconds = float(os.environ.get("BENCH_IDLE_SECONDS", "60"))
    calls = int(os.environ.get("BENCH_REMOTE_CALLS", "20"))
    root = tempfile.mkdtemp(prefix="tallyvox-bench-", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    session = XSession(root)
    rows = []
    try:
        session.start()
        app = Portable(session, binary, root)
        none, _ = tracking_run(app, seconds, 0)
        one, follower = tracking_run(app, seconds, 1)
        many, _ = tracking_run(app, seconds, 20)
        floor = tail_reference(root, seconds)
        what = f"in tray, task running ({seconds:.0f} s runs)"
        rows.append([f"{what}: one follower's own CPU per 60 s", f"{follower:.2f} ms",
                     f"<= {FOLLOWER_CPU_MS:g} ms; tail -f of a line a second {floor:.2f} ms",
                     f"{follower / FOLLOWER_CPU_MS:.2f}x"])
        rows.append([f"{what}: program's CPU per 60 s, 1 follower", f"{one:.1f} ms",
                     f"{none:.1f} ms (none; goal <= {ONE_FOLLOWER_RATIO:g}x)", f"{one / none:.2f}x"])
        rows.append([f"{what}: program's CPU per 60 s, 20 followers", f"{many:.1f} ms",
                     f"{none:.1f} ms (none; goal <= {MANY_FOLLOWERS_RATIO:g}x)", f"{many / none:.2f}x"])
        rows.extend(one_off_rows(app, calls))
    finally:
        session.stop()
        shutil.rmtree(root, ignore_errors=True)
    with open(out_path, "w") as f:
        json.dump(rows, f)


if __name__ == "__main__":
    main()
