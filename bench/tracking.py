# SPDX-License-Identifier: MIT
"""Tracking cost of the real program against the floor of a durable save (bench/SaveFloor.cpp).

Used by startup.py. Each tracking run starts the program, runs a task, and measures it and the
floor program side by side over the same seconds: the floor saves the program's own tasks.db
bytes into a folder beside the program's data folder (same file system), once a second. Both
see the same load of the machine and the same disk, so the ratio holds where the absolute
figures swing. CPU is processor time of all threads (schedstat), wake-ups are voluntary
context switches of all threads.
"""

import os
import shutil
import signal
import subprocess
import sys
import time

from xsession import wait_for

# Goals as ratios to the floor, measured in the same run.
HIDDEN_CPU_GOAL = 1.15
HIDDEN_WAKEUP_GOAL = 1.2
SHOWN_CPU_GOAL = 1.5
# The only threads that may wake while a task runs: the user-interface thread, Qt's X reader
# and the save writer (an unnamed thread, so it carries the program's name).
XCB_READER = "QXcbEventQueue"


def thread_counters(pid):
    """{tid: (label, cpu ns, voluntary switches)} for every thread of pid."""
    threads = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        base = f"/proc/{pid}/task/{tid}"
        try:
            with open(base + "/comm") as f:
                name = f.read().strip()
            with open(base + "/schedstat") as f:
                cpu_ns = int(f.read().split()[0])
            voluntary = 0
            with open(base + "/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches"):
                        voluntary = int(line.split()[1])
        except (FileNotFoundError, ProcessLookupError):
            continue  # a thread that ended in between
        threads[tid] = (name, cpu_ns, voluntary)
    return threads


class Sample:
    """Counters of one process over an interval, per thread and in total."""

    def __init__(self, pid):
        self.pid = pid
        self.before = thread_counters(pid)
        self.began = time.monotonic()
        self.after = None

    def finish(self):
        self.after = thread_counters(self.pid)
        self.seconds = time.monotonic() - self.began
        self.rss_mib = 0.0
        with open(f"/proc/{self.pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    self.rss_mib = int(line.split()[1]) / 1024.0

    def per_thread(self):
        """[(label, cpu ms per 60 s, wake-ups per second)], threads that did not run left out."""
        rows = []
        for tid, (name, cpu, vol) in sorted(self.after.items(), key=lambda t: int(t[0])):
            _, cpu0, vol0 = self.before.get(tid, (name, 0, 0))
            if tid == str(self.pid):
                name = "GUI"
            elif name == XCB_READER:
                name = "XCB reader"
            rows.append((name, (cpu - cpu0) / 1e6 * 60.0 / self.seconds, (vol - vol0) / self.seconds))
        return rows

    def cpu_per_minute(self):
        return sum(cpu for _, cpu, _ in self.per_thread())

    def wakeups(self):
        return sum(w for _, _, w in self.per_thread())


class Floor:
    """bench/SaveFloor.cpp saving given bytes in its own folder once a second."""

    def __init__(self, program, folder, data):
        os.makedirs(folder, mode=0o700, exist_ok=True)
        source = os.path.join(folder, "bytes")
        with open(source, "wb") as f:
            f.write(data)
        self.proc = subprocess.Popen([program, source, folder], stdout=subprocess.DEVNULL)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.proc.returncode not in (0, -signal.SIGTERM):
            raise RuntimeError(f"save_floor failed (code {self.proc.returncode})")


def run_last_task(startup, app, tasks):
    """Starts the program on `tasks` tasks and runs the last one: the list scrolls to it."""
    app.write_tasks(startup.encode_tasks(tasks))
    app.start()
    wid = wait_for("the main window", app.main_window)
    startup.tool(app.session, "xdotool", "windowactivate", "--sync", wid)
    startup.tool(app.session, "xdotool", "key", "--delay", "80", "Home", "End", "Return")
    title = f"Task number {tasks - 1} for the client - {startup.TITLE}"
    wait_for(f"the title {title!r}",
             lambda: startup.tool(app.session, "xdotool", "getwindowname", wid).rstrip("\n") == title)
    return wid


def measure_tracking(startup, app, floor_program, seconds, tasks, shown):
    """(program Sample, floor Sample) over the same `seconds` while a task runs."""
    if tasks > startup.TRACKING_TASKS:
        wid = run_last_task(startup, app, tasks)
    else:
        wid = startup.start_first_task(app, tasks)
    if not shown:
        startup.hide_to_tray(app, wid)
    time.sleep(3)  # let start-up work (fonts, first paint) settle
    with open(os.path.join(app.data, "tasks.db"), "rb") as f:
        data = f.read()
    floor = Floor(floor_program, os.path.join(os.path.dirname(app.folder), "floor"), data)
    try:
        time.sleep(1.5)  # its first save
        program, reference = Sample(app.proc.pid), Sample(floor.proc.pid)
        time.sleep(seconds)
        program.finish()
        reference.finish()
    finally:
        floor.stop()
    if app.proc.poll() is not None:
        raise RuntimeError("the program ended during the tracking run")
    app.stop()
    return program, reference


def woken_threads(sample):
    """Figure text of the threads that woke, and the ones that may not have."""
    allowed = {"GUI", "XCB reader", "tallyvox"}
    woke = [(name, w) for name, _, w in sample.per_thread() if w > 0]
    text = ", ".join(f"{'writer' if n == 'tallyvox' else n} {w:.1f}" for n, w in woke) + " /s"
    others = [n for n, _ in woke if n not in allowed]
    return text, others


def tracking_rows(startup, portable, session, binary, root, seconds, tmpfs_root=None):
    """Table rows of the tracking runs: hidden, shown (10 tasks), shown (1,000 tasks)."""
    floor_program = os.path.join(os.path.dirname(os.path.abspath(binary)), "bench-shim", "save_floor")
    if not os.path.exists(floor_program):
        print(f"no {floor_program}: tracking rows left out", file=sys.stderr)
        return []
    rows = []
    runs = [("in tray, task running, 10 tasks", 10, False, root),
            ("window shown, task running, 10 tasks", 10, True, root),
            ("window shown, 1,000 tasks, the last one running", 1000, True, root)]
    if tmpfs_root:
        runs.append(("in tray, task running, 10 tasks, data folder on tmpfs", 10, False, tmpfs_root))
    for what, tasks, shown, where in runs:
        folder = os.path.join(where, f"run-{tasks}-{int(shown)}")
        os.makedirs(folder)
        try:
            program, floor = measure_tracking(startup, portable(session, binary, folder), floor_program,
                                              seconds, tasks, shown)
        finally:
            shutil.rmtree(folder, ignore_errors=True)
        cpu, floor_cpu = program.cpu_per_minute(), floor.cpu_per_minute()
        wake, floor_wake = program.wakeups(), floor.wakeups()
        cpu_goal = SHOWN_CPU_GOAL if shown else HIDDEN_CPU_GOAL
        rows.append([f"{what}: CPU per 60 s ({seconds:.0f} s run)", f"{cpu:.1f} ms",
                     f"floor {floor_cpu:.1f} ms (goal <= {cpu_goal:g}x)", ratio(cpu, floor_cpu)])
        if shown:
            text, others = woken_threads(program)
            rows.append([f"{what}: threads woken", text, "GUI, XCB reader, writer only",
                         "ok" if not others else "also " + ", ".join(others)])
        else:
            rows.append([f"{what}: wake-ups (all threads)", f"{wake:.2f} /s",
                         f"floor {floor_wake:.2f} /s (goal <= {HIDDEN_WAKEUP_GOAL:g}x)", ratio(wake, floor_wake)])
        if where is root and not shown:
            rows.append([f"{what}: VmRSS", f"{program.rss_mib:.1f} MiB", f"<= {startup.RSS_TARGET:.0f} MiB",
                         ratio(program.rss_mib, startup.RSS_TARGET)])
    return rows


def ratio(value, reference):
    return f"{value / reference:.2f}x" if reference > 0 else "-"
