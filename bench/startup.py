#!/usr/bin/env python3
"""Start-up time and idle cost of the real program in a private X session.

    startup.py <tallyvox binary> <rows.json>

Runs Xvfb (a free display through -displayfd), openbox and trayer, starts a copy of the binary
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

TITLE = "Tallyvox"
CPU_TARGET = 0.2      # % of one core, while a task runs and so also without one
RSS_TARGET = 60.0     # MiB
IDLE_TASKS = 100      # the list size of the idle runs: a long but ordinary list


def encode_tasks(count):
    lines = []
    for i in range(count):
        ms = i * 7919 % 360000000
        h, rest = divmod(ms // 1000, 3600)
        m, s = divmod(rest, 60)
        text = f"{h}:{m:02d}:{s:02d}" if h else f"{m}:{s:02d}"
        lines += [f"Task number {i} for the client", text, str(ms)]
    return b"\xef\xbb\xbf" + "".join(line + "\r\n" for line in lines).encode("utf-8")


class Session:
    """Xvfb + private session bus + openbox + trayer, all in their own process groups."""

    def __init__(self, root):
        self.root = root
        self.procs = []
        self.env = None

    def start(self):
        display = self._xvfb()
        home, runtime, tmp = (os.path.join(self.root, n) for n in ("home", "runtime", "tmp"))
        for path in (home, runtime, tmp):
            os.makedirs(path, mode=0o700, exist_ok=True)
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QT_", "WAYLAND", "XDG_", "DBUS_", "TALLYVOX_"))}
        env.update({"DISPLAY": display, "HOME": home, "TMPDIR": tmp, "XDG_RUNTIME_DIR": runtime,
                    "XDG_SESSION_TYPE": "x11", "XDG_DATA_HOME": os.path.join(home, "data"),
                    "XDG_CONFIG_HOME": os.path.join(home, "config"),
                    "APPDATA": os.path.join(home, "appdata-unused"), "QT_QPA_PLATFORM": "xcb",
                    "QT_ACCESSIBILITY": "0", "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8",
                    "TALLYVOX_SITE_URL": ""})
        self.env = env
        env["DBUS_SESSION_BUS_ADDRESS"] = "disabled:"
        if shutil.which("dbus-daemon"):
            bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                             stdout=subprocess.PIPE)
            env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip() or "disabled:"
        self.spawn(["openbox", "--sm-disable"])
        wait_for("openbox", lambda: "window id" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"))
        self.spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                    "--height", "24", "--transparent", "false"])
        wait_for("trayer", lambda: self.run("xdotool", "search", "--classname", "panel").strip())

    def _xvfb(self):
        read_fd, write_fd = os.pipe()
        proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24",
                                 "-nolisten", "tcp", "-noreset"], pass_fds=(write_fd,),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)
        os.close(write_fd)
        self.procs.append(proc)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        if not number.strip().isdigit():
            raise RuntimeError("Xvfb did not start")
        return ":" + number.decode().strip()

    def spawn(self, argv, stdout=subprocess.DEVNULL, env=None, cwd=None):
        proc = subprocess.Popen(argv, env=env or self.env, cwd=cwd, stdout=stdout,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        self.procs.append(proc)
        return proc

    def run(self, *argv):
        res = subprocess.run(argv, env=self.env, capture_output=True, timeout=30)
        return res.stdout.decode(errors="replace")

    def stop(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
        for proc in reversed(self.procs):
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()


def wait_for(what, probe, timeout=20.0, interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise RuntimeError(f"timed out waiting for {what}")
        time.sleep(interval)


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

    def start(self, hidden=False):
        env = dict(self.session.env)
        if hidden:
            env["TALLYVOX_START_HIDDEN"] = "1"
        self.proc = self.session.spawn([self.binary], env=env, cwd=self.folder)
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
        for wid in self.session.run("xdotool", "search", "--pid", str(self.proc.pid)).split():
            if self.session.run("xdotool", "getwindowname", wid).rstrip("\n").endswith(" - " + TITLE):
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
             lambda: app.proc.poll() is not None or app.session.run(
                 "xdotool", "search", "--onlyvisible", "--name", TITLE).strip(),
             interval=0.005)
    took = time.monotonic() - began
    if app.proc.poll() is not None:
        raise RuntimeError(f"the program ended at start (code {app.proc.returncode})")
    app.stop()
    return took


def proc_counters(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    cpu_ticks = int(fields[11]) + int(fields[12])  # utime + stime (fields 14 and 15)
    switches = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
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
    return cpu_ticks, switches, rss_kib


def idle_cost(pid, seconds):
    """CPU % of one core, wake-ups per second and VmRSS in MiB over `seconds`."""
    cpu0, sw0, _ = proc_counters(pid)
    t0 = time.monotonic()
    time.sleep(seconds)
    cpu1, sw1, rss = proc_counters(pid)
    elapsed = time.monotonic() - t0
    cpu_ms = (cpu1 - cpu0) * 1000.0 / os.sysconf("SC_CLK_TCK")
    return 100.0 * cpu_ms / (elapsed * 1000.0), (sw1 - sw0) / elapsed, rss / 1024.0


def hide_to_tray(app, wid):
    app.session.run("xdotool", "key", "Escape")  # Esc on the window hides it, as a user would
    wait_for("the window to hide to the tray",
             lambda: "IsViewable" not in app.session.run("xwininfo", "-id", wid), timeout=10)


def run_idle(app, seconds, active):
    app.write_tasks(encode_tasks(IDLE_TASKS))
    app.start(hidden=not active)
    if active:
        wid = wait_for("the main window", app.main_window)
        app.session.run("xdotool", "windowactivate", "--sync", wid)
        # The current row starts on the first row unselected; a move selects it.
        app.session.run("xdotool", "key", "--delay", "80", "End", "Home", "Return")
        caption = "Task number 0 for the client - " + TITLE
        wait_for(f"the title {caption!r}",
                 lambda: app.session.run("xdotool", "getwindowname", wid).rstrip("\n") == caption)
        hide_to_tray(app, wid)
    else:
        # Started hidden, the program's only window is its tray icon.
        wait_for("the tray icon", lambda: app.session.run("xdotool", "search", "--pid", str(app.proc.pid)).strip())
    time.sleep(3)  # let start-up work (fonts, first paint) settle
    figures = idle_cost(app.proc.pid, seconds)
    if app.proc.poll() is not None:
        raise RuntimeError("the program ended during the idle run")
    app.stop()
    return figures


def main():
    binary, out_path = sys.argv[1], sys.argv[2]
    idle_seconds = float(os.environ.get("BENCH_IDLE_SECONDS", "60"))
    runs = int(os.environ.get("BENCH_STARTUP_RUNS", "5"))
    root = tempfile.mkdtemp(prefix="tallyvox-bench-")
    session = Session(root)
    rows = []
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
                     f"{f * 1000:.0f} ms", f"{b * 1000:.0f} ms (empty tasks.db)", f"{f / b:.2f}x"])
        for active in (False, True):
            cpu, wakeups, rss = run_idle(app, idle_seconds, active)
            what = f"task running, {IDLE_TASKS} tasks" if active else "no task active"
            # Both timers fire once a second (Qt coalesces them): one wake-up a second is the
            # least the program can do.
            rows.append([f"idle in tray, {what}: CPU of one core ({idle_seconds:.0f} s)", f"{cpu:.3f} %",
                         f"< {CPU_TARGET} %", f"{cpu / CPU_TARGET:.2f}x"])
            rows.append([f"idle in tray, {what}: wake-ups", f"{wakeups:.1f} /s", "1 /s (the 1 s timers)",
                         f"{wakeups:.2f}x"])
            rows.append([f"idle in tray, {what}: VmRSS", f"{rss:.1f} MiB", f"< {RSS_TARGET:.0f} MiB",
                         f"{rss / RSS_TARGET:.2f}x"])
    finally:
        session.stop()
        shutil.rmtree(root, ignore_errors=True)
    with open(out_path, "w") as f:
        json.dump(rows, f)


if __name__ == "__main__":
    main()
