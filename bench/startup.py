#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Start-up time and idle cost of the real program in a private X session.

    startup.py <tallyvox binary> <rows.json>

Runs the end-to-end tests' private X session (Xvfb, openbox, trayer), starts a copy of the binary
in a temporary portable folder (its AppData beside it, so no data of the user is touched), and
writes the table rows [measure, figure, reference, ratio] as JSON for scripts/bench.sh.

Environment: BENCH_IDLE_SECONDS (default 60) is the length of each idle measurement,
BENCH_STARTUP_RUNS (default 5) the number of starts per task file.
"""

import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from xsession import XSession, wait_for  # noqa: E402 (the private X session of the e2e tests)
import tracking  # noqa: E402 (the tracking runs against the floor of a save)

TITLE = "Tallyvox"
TRACKING_TASKS = 10   # the tracking runs: one task running in an ordinary list
IDLE_TASKS = 100      # the run without a running task: a long but ordinary list
RUNNING_TITLE = "Task number 0 for the client - " + TITLE
IDLE_CPU_MS = 15
IDLE_WAKEUPS = 1      # the coalesced one-second timers
KEY_TARGET_MS = 50
STARTUP_TARGET_MS = 120
RSS_TARGET = 45.0     # MiB


def encode_tasks(count):
    lines = []
    for i in range(count):
        ms = i * 7919 % 360000000
        h, rest = divmod(ms // 1000, 3600)
        m, s = divmod(rest, 60)
        text = f"{h}:{m:02d}:{s:02d}" if h else f"{m}:{s:02d}"
        lines += [f"Task number {i} for the client", text, str(ms)]
    return b"\xef\xbb\xbf" + "".join(line + "\r\n" for line in lines).encode("utf-8")


def tool(session, *argv):
    """Output of an X tool run in the session; empty when it finds nothing."""
    return session.run(list(argv), check=False)


class Portable:
    """A copy of the program in its own folder with AppData beside it."""

    def __init__(self, session, binary, root):
        self.session = session
        self.folder = os.path.join(root, "portable")
        self.data = os.path.join(self.folder, "AppData")
        os.makedirs(self.data, mode=0o700, exist_ok=True)
        open(os.path.join(self.data, "notip"), "wb").close()  # no balloon on the first hide
        self.binary = os.path.join(self.folder, "tallyvox")
        shutil.copy2(binary, self.binary)  # a copy: the data folder follows /proc/self/exe
        self.proc = None

    def write_tasks(self, data):
        with open(os.path.join(self.data, "tasks.db"), "wb") as f:
            f.write(data)

    def start(self, hidden=False, env=None):
        env = dict(self.session.env, **(env or {}))
        if hidden:
            env["TALLYVOX_START_HIDDEN"] = "1"
        self.proc = subprocess.Popen([self.binary], env=env, cwd=self.folder, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, start_new_session=True)
        return self.proc

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def main_window(self):
        for wid in tool(self.session, "xdotool", "search", "--pid", str(self.proc.pid)).split():
            if tool(self.session, "xdotool", "getwindowname", wid).rstrip("\n").endswith(" - " + TITLE):
                return wid
        return None


def start_up_seconds(app, data):
    """From the start of the process to its main window being mapped."""
    app.write_tasks(data)
    began = time.monotonic()
    app.start()
    # The window appears after the list is loaded; xdotool's own --sync polls only twice a
    # second, so the search is repeated here at a finer step.
    wait_for("the main window to be mapped",
             lambda: app.proc.poll() is not None or tool(app.session, 
                 "xdotool", "search", "--onlyvisible", "--name", TITLE).strip(),
             interval=0.005)
    took = time.monotonic() - began
    if app.proc.poll() is not None:
        raise RuntimeError(f"the program ended at start (code {app.proc.returncode})")
    app.stop()
    return took


def foreign_start_up_seconds(session, argv):
    """From the start of another program (in the same private session) to a visible window of it."""
    began = time.monotonic()
    proc = subprocess.Popen(argv, env=session.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    try:
        wait_for(f"a window of {argv[0]}",
                 lambda: proc.poll() is not None or tool(
                     session, "xdotool", "search", "--onlyvisible", "--pid", str(proc.pid)).strip(),
                 timeout=60, interval=0.005)
        if proc.poll() is not None:
            raise RuntimeError(f"{argv[0]} ended at start (code {proc.returncode})")
        return time.monotonic() - began
    finally:
        if proc.poll() is None:
            proc.terminate()
            try:
                proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()


def proc_counters(pid):
    """Processor time in ms (all threads), wake-ups (context switches of all threads), VmRSS in KiB."""
    cpu_ns = 0
    switches = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                cpu_ns += int(f.read().split()[0])  # time on a processor, in ns: finer than utime+stime
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
        except FileNotFoundError:
            pass  # a thread that ended in between
    rss_kib = 0
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                rss_kib = int(line.split()[1])
    return cpu_ns / 1e6, switches, rss_kib


def idle_cost(pid, seconds):
    """CPU ms per 60 s, wake-ups per second and VmRSS in MiB over `seconds`."""
    cpu0, sw0, _ = proc_counters(pid)
    t0 = time.monotonic()
    time.sleep(seconds)
    cpu1, sw1, rss = proc_counters(pid)
    elapsed = time.monotonic() - t0
    return (cpu1 - cpu0) * 60.0 / elapsed, (sw1 - sw0) / elapsed, rss / 1024.0


def hide_to_tray(app, wid):
    tool(app.session, "xdotool", "key", "Escape")  # Esc on the window hides it, as a user would
    wait_for("the window to hide to the tray",
             lambda: "IsViewable" not in tool(app.session, "xwininfo", "-id", wid), timeout=10)


def start_first_task(app, tasks, env=None):
    """Starts the program on `tasks` tasks and runs the first one from the keyboard."""
    app.write_tasks(encode_tasks(tasks))
    app.start(env=env)
    wid = wait_for("the main window", app.main_window)
    tool(app.session, "xdotool", "windowactivate", "--sync", wid)
    # The current row starts on the first row unselected; a move selects it.
    tool(app.session, "xdotool", "key", "--delay", "80", "End", "Home", "Return")
    wait_for(f"the title {RUNNING_TITLE!r}",
             lambda: tool(app.session, "xdotool", "getwindowname", wid).rstrip("\n") == RUNNING_TITLE)
    return wid


def run_idle(app, seconds, active, env=None):
    if active:
        hide_to_tray(app, start_first_task(app, TRACKING_TASKS, env))
    else:
        app.write_tasks(encode_tasks(IDLE_TASKS))
        app.start(hidden=True)
        # Started hidden, the program's only window is its tray icon.
        wait_for("the tray icon", lambda: tool(app.session, "xdotool", "search", "--pid", str(app.proc.pid)).strip())
    time.sleep(3)  # let start-up work (fonts, first paint) settle
    figures = idle_cost(app.proc.pid, seconds)
    if app.proc.poll() is not None:
        raise RuntimeError("the program ended during the idle run")
    app.stop()
    return figures


def key_latencies(app, shim, presses):
    """With every fsync of the program stalled for 500 ms: from a key press (Space stops the
    running task, Return runs it again) to the new window title, in ms. Keys land at every
    phase of the one-second tick."""
    env = {"LD_PRELOAD": shim}
    wid = start_first_task(app, TRACKING_TASKS, env=env)
    time.sleep(2.5)  # a few stalled saves behind us
    spy = subprocess.Popen(["stdbuf", "-oL", "xprop", "-spy", "-id", wid, "_NET_WM_NAME"], env=app.session.env,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, bufsize=1)
    try:
        spy.stdout.readline()  # the current title
        latencies = []
        for i in range(presses):
            key, title = ("space", "(idle) - " + TITLE) if i % 2 == 0 else ("Return", RUNNING_TITLE)
            time.sleep(0.37 + (i * 0.13) % 0.5)
            began = time.monotonic()
            tool(app.session, "xdotool", "key", key)
            while True:
                line = spy.stdout.readline()
                if not line:
                    raise RuntimeError("xprop -spy ended")
                if title in line:
                    break
                if time.monotonic() - began > 10:
                    raise RuntimeError(f"no title {title!r} after {key}")
            latencies.append((time.monotonic() - began) * 1000.0)
    finally:
        spy.kill()
        spy.wait()
    app.stop()
    return latencies


def fill_history(app, years):
    """A history of `years` years of working days, eight intervals a day, as the program keeps it."""
    import sqlite3
    path = os.path.join(app.data, "history.sqlite")
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)
    db = sqlite3.connect(path)
    db.executescript("CREATE TABLE interval (id INTEGER PRIMARY KEY, caption TEXT NOT NULL,"
                     " start_utc INTEGER NOT NULL, utc_offset INTEGER NOT NULL, end_utc INTEGER NOT NULL,"
                     " charged_ms INTEGER NOT NULL); CREATE INDEX interval_by_start ON interval(start_utc);"
                     " PRAGMA user_version = 1; PRAGMA journal_mode = WAL;")
    start = 1735718400000  # 2025-01-01
    db.executemany("INSERT INTO interval (caption, start_utc, utc_offset, end_utc, charged_ms) VALUES (?, ?, 3600, ?, ?)",
                   ((f"Client {i % 5} work", start + i * 10800000, start + i * 10800000 + 3000000, 3000000)
                    for i in range(years * 250 * 8)))
    db.commit()
    db.close()


def main():
    binary, out_path = sys.argv[1], sys.argv[2]
    idle_seconds = float(os.environ.get("BENCH_IDLE_SECONDS", "60"))
    runs = int(os.environ.get("BENCH_STARTUP_RUNS", "5"))
    shim = os.path.join(os.path.dirname(os.path.abspath(binary)), "bench-shim", "slow_fsync.so")
    root = tempfile.mkdtemp(prefix="tallyvox-bench-")
    session = XSession(root)
    app = None
    rows = []
    shm_root = None
    try:
        session.start()
        app = Portable(session, binary, root)
        big, empty = encode_tasks(10000), b""
        start_up_seconds(app, empty)  # warm the file cache and the font cache
        full, bare = [], []
        for _ in range(runs):  # interleaved, so both see the same load of the machine
            full.append(start_up_seconds(app, big))
            bare.append(start_up_seconds(app, empty))
        f, b = statistics.median(full), statistics.median(bare)
        rows.append([f"start-up to mapped window, 10,000 tasks (median of {runs})",
                     f"{f * 1000:.0f} ms", f"{b * 1000:.0f} ms (empty tasks.db; goal <= 1.2x)", f"{f / b:.2f}x"])
        rows.append([f"start-up to mapped window, empty tasks.db (median of {runs})", f"{b * 1000:.0f} ms",
                     f"<= {STARTUP_TARGET_MS} ms on an idle machine", f"{b * 1000 / STARTUP_TARGET_MS:.2f}x"])
        if shutil.which("ktimetracker"):
            ours, theirs = [], []
            for _ in range(runs):  # interleaved, as above
                ours.append(start_up_seconds(app, empty))
                theirs.append(foreign_start_up_seconds(session, ["ktimetracker"]))
            o, t = statistics.median(ours), statistics.median(theirs)
            rows.append([f"start-up to mapped window, empty tasks.db, vs KTimeTracker (median of {runs})",
                         f"{o * 1000:.0f} ms", f"{t * 1000:.0f} ms (goal <= 0.5x)", f"{o / t:.2f}x"])
        else:
            print("no ktimetracker installed: its start-up comparison left out", file=sys.stderr)
        if os.path.exists(shim):
            lat = key_latencies(app, shim, 12)
            worst = max(lat)
            rows.append([f"key to repainted title while every fsync takes 500 ms (worst of {len(lat)})",
                         f"{worst:.0f} ms", f"<= {KEY_TARGET_MS} ms", f"{worst / KEY_TARGET_MS:.2f}x"])
        else:
            print(f"no {shim}: responsiveness left out", file=sys.stderr)
        # History recording costs next to nothing: the same run with it switched off.
        cpu_on, _, _ = run_idle(app, idle_seconds, True)
        cpu_off, _, _ = run_idle(app, idle_seconds, True, {"TALLYVOX_NO_HISTORY": "1"})
        rows.append([f"in tray, task running, {TRACKING_TASKS} tasks: CPU per 60 s, history on",
                     f"{cpu_on:.1f} ms", f"{cpu_off:.1f} ms (history off; goal <= 1.15x)",
                     f"{cpu_on / cpu_off:.2f}x" if cpu_off else "-"])
        # Resident memory does not grow with the history: the program never reads it in.
        short = min(idle_seconds, 15)
        fill_history(app, 0)
        _, _, rss_none = run_idle(app, short, True)
        fill_history(app, 10)
        _, _, rss_ten = run_idle(app, short, True)
        rows.append(["in tray, task running: VmRSS with 10 years of history (20,000 intervals)",
                     f"{rss_ten:.1f} MiB", f"{rss_none:.1f} MiB (empty history; goal: no growth)",
                     f"{rss_ten / rss_none:.2f}x"])
        # The hidden run once more with the data folder in memory: what the program itself
        # costs, without the waits and the kernel work of the disk's fsync.
        if os.path.isdir("/dev/shm"):
            shm_root = tempfile.mkdtemp(prefix="tallyvox-bench-", dir="/dev/shm")
        rows.extend(tracking.tracking_rows(sys.modules[__name__], Portable, session, binary, root,
                                           idle_seconds, shm_root))
        cpu, wakeups, rss = run_idle(app, idle_seconds, False)
        what = f"no task active, {IDLE_TASKS} tasks"
        rows.append([f"in tray, {what}: CPU per 60 s ({idle_seconds:.0f} s run)", f"{cpu:.1f} ms",
                     f"<= {IDLE_CPU_MS:g} ms", f"{cpu / IDLE_CPU_MS:.2f}x"])
        rows.append([f"in tray, {what}: wake-ups (all threads)", f"{wakeups:.2f} /s",
                     f"<= {IDLE_WAKEUPS:g} /s", f"{wakeups / IDLE_WAKEUPS:.2f}x"])
        rows.append([f"in tray, {what}: VmRSS", f"{rss:.1f} MiB", f"<= {RSS_TARGET:.0f} MiB",
                     f"{rss / RSS_TARGET:.2f}x"])
    finally:
        if app:
            app.stop()
        session.stop()
        shutil.rmtree(root, ignore_errors=True)
        if shm_root:
            shutil.rmtree(shm_root, ignore_errors=True)
    with open(out_path, "w") as f:
        json.dump(rows, f)


if __name__ == "__main__":
    main()
