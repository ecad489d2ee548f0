# SPDX-License-Identifier: MIT
"""The real program, run from a portable copy so that its data folder is a private AppData."""

import contextlib
import os
import shlex
import shutil
import signal
import subprocess
import threading
import time

from xsession import STARTUP_TIMEOUT, Failed, wait_for

BOM = b"\xef\xbb\xbf"
TITLE_SUFFIX = " - Tallyvox"
IDLE_TITLE = "(idle) - Tallyvox"


def duration_text(ms):
    """The time text a row shows for its milliseconds: H:MM:SS, or M:SS under an hour."""
    seconds = ms // 1000
    hours, minutes, secs = seconds // 3600, seconds % 3600 // 60, seconds % 60
    return f"{hours}:{minutes:02d}:{secs:02d}" if hours else f"{minutes}:{secs:02d}"


def encode_tasks(rows):
    """tasks.db bytes for (caption, ms) rows, exactly as the program writes them."""
    out = bytearray(BOM)
    for caption, ms in rows:
        for line in (caption, duration_text(ms), str(ms)):
            out += line.encode("utf-8") + b"\r\n"
    return bytes(out)


def decode_tasks(data):
    """Parses tasks.db bytes strictly; raises Failed on any deviation from the format."""
    if not data.startswith(BOM):
        raise Failed(f"tasks.db does not start with the UTF-8 byte-order mark: {data[:16]!r}")
    body = data[len(BOM):]
    if body and not body.endswith(b"\r\n"):
        raise Failed(f"tasks.db does not end with CR LF: {data[-16:]!r}")
    lines = body.split(b"\r\n")[:-1] if body else []
    if any(b"\r" in line or b"\n" in line for line in lines):
        raise Failed(f"tasks.db has a line break other than CR LF: {data!r}")
    if len(lines) % 3:
        raise Failed(f"tasks.db has {len(lines)} lines, not three per task: {data!r}")
    rows = []
    for i in range(0, len(lines), 3):
        caption, text, ms = (line.decode("utf-8") for line in lines[i:i + 3])
        if not ms.isdigit() or (len(ms) > 1 and ms[0] == "0") or int(ms) > 0xFFFFFFFF:
            raise Failed(f"tasks.db row {i // 3}: milliseconds {ms!r} are not a plain number")
        if text != duration_text(int(ms)):
            raise Failed(f"tasks.db row {i // 3}: time text {text!r} does not match {ms} ms")
        rows.append((caption, int(ms)))
    return rows


class TallyvoxApp:
    def __init__(self, session, binary, root, name="portable"):
        self.session = session
        self.folder = os.path.join(root, name)
        self.data = os.path.join(self.folder, "AppData")
        os.makedirs(self.data, mode=0o700, exist_ok=True)
        # A copy, not a link: the program finds its folder through /proc/self/exe, which
        # resolves links, and the data folder must be the private one beside this copy.
        self.binary = os.path.join(self.folder, "tallyvox")
        shutil.copy2(binary, self.binary)
        self.build_dir = os.path.dirname(binary)
        self.extra_env = {}  # for the program only, not for the remote's runs
        self.proc = None
        self.log_path = os.path.join(root, name + ".log")
        self._main = None

    # --- data folder ------------------------------------------------------------------------

    def path(self, name):
        return os.path.join(self.data, name)

    def suppress_hide_tip(self):
        open(self.path("notip"), "wb").close()

    def write_tasks(self, rows):
        with open(self.path("tasks.db"), "wb") as f:
            f.write(encode_tasks(rows))

    def tasks_bytes(self):
        try:
            with open(self.path("tasks.db"), "rb") as f:
                return f.read()
        except (FileNotFoundError, IsADirectoryError):
            return None

    def tasks(self):
        data = self.tasks_bytes()
        return None if data is None else decode_tasks(data)

    def wait_tasks(self, what, predicate, timeout=10.0):
        """Waits until tasks.db parses and its rows satisfy predicate; returns the rows."""
        def probe():
            try:
                rows = self.tasks()
            except Failed:
                return None  # caught between truncate and write by a non-atomic save
            return rows if rows is not None and predicate(rows) else None
        try:
            return wait_for(what, probe, timeout=timeout)
        except Failed:
            raise Failed(f"tasks.db never showed {what}; it holds {self.tasks_bytes()!r}") from None

    # --- process ----------------------------------------------------------------------------

    def launch(self, hidden=False, argv=None):
        env = dict(self.session.env, **self.extra_env)
        if hidden:
            env["TALLYVOX_START_HIDDEN"] = "1"
        log = open(self.log_path, "ab")
        return subprocess.Popen(argv or [self.binary], cwd=self.folder, env=env, stdout=log,
                                stderr=subprocess.STDOUT, start_new_session=True)

    def start(self, hidden=False, argv=None):
        """Starts the program; hidden: it is expected to start with its window hidden, by
        TALLYVOX_START_HIDDEN=1 or by what argv (a desktop entry's command) sets."""
        self.proc = self.launch(hidden and argv is None, argv)
        self._main = None
        if hidden:
            return self.proc
        self.wait_mapped(True, timeout=STARTUP_TIMEOUT)
        return self.proc

    def start_behind_box(self):
        """Starts the program when a box at start-up holds the window back until it is closed."""
        self.proc = self.launch()
        self._main = None
        return self.proc

    def entry_command(self, desktop_file):
        """The Exec line of a desktop entry, with the program name pointing at this copy."""
        with open(desktop_file, encoding="utf-8") as f:
            lines = [line for line in f.read().splitlines() if line.startswith("Exec=")]
        if len(lines) != 1:
            raise Failed(f"{desktop_file} has {len(lines)} Exec lines")
        argv = shlex.split(lines[0][len("Exec="):])
        if [os.path.basename(word) for word in argv].count("tallyvox") != 1:
            raise Failed(f"{desktop_file} does not start tallyvox: {lines[0]!r}")
        return [self.binary if os.path.basename(word) == "tallyvox" else word for word in argv]

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def wait_exit(self, timeout=10.0):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failed(f"the program did not end within {timeout:.0f} s") from None

    @contextlib.contextmanager
    def exit_watch(self):
        """Yields a function giving the wall-clock time the process ended (watched by a thread)."""
        gone = []
        proc = self.proc
        waiter = threading.Thread(target=lambda: (proc.wait(), gone.append(time.time())))
        waiter.start()
        try:
            yield lambda: gone[0]
        finally:
            waiter.join(timeout=15)

    def terminate(self):
        self.proc.send_signal(signal.SIGTERM)

    def kill(self):
        if self.alive():
            self.proc.kill()
            self.proc.wait()

    def remote(self, *args, timeout=15.0):
        """Runs the program once more with args, as a key binding or a status bar would;
        returns (exit code, stdout bytes, stderr text)."""
        try:
            res = subprocess.run([self.binary, *args], cwd=self.folder, env=self.session.env,
                                 capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failed(f"tallyvox {' '.join(args)} did not end within {timeout:.0f} s") from None
        return res.returncode, res.stdout, res.stderr.decode(errors="replace")

    def log(self):
        try:
            with open(self.log_path, "rb") as f:
                return f.read().decode(errors="replace")
        except FileNotFoundError:
            return ""

    # --- windows ----------------------------------------------------------------------------

    def main_window(self, timeout=10.0):
        """The main window: the program's top-level window whose title ends in " - Tallyvox"."""
        if self._main is not None and self.session.window_name(self._main):
            return self._main

        def probe():
            if not self.alive():
                raise Failed(f"the program ended (code {self.proc.returncode}):\n{self.log()}")
            tray = self.session.tray_children()
            for wid in self.session.pid_windows(self.proc.pid):
                if wid not in tray and self.session.window_name(wid).endswith(TITLE_SUFFIX):
                    return wid
            return None
        self._main = wait_for("the main window", probe, timeout=timeout)
        return self._main

    def title(self):
        return self.session.window_name(self.main_window())

    def wait_title(self, expected, timeout=10.0):
        try:
            wait_for(f"the title {expected!r}", lambda: self.title() == expected, timeout=timeout)
        except Failed:
            raise Failed(f"the title is {self.title()!r}, expected {expected!r}") from None

    def mapped(self):
        return self.session.is_mapped(self.main_window())

    def wait_mapped(self, shown, timeout=10.0):
        state = "shown" if shown else "hidden"
        deadline = time.monotonic() + timeout
        wid = self.main_window(timeout=timeout)
        try:
            wait_for(f"the main window to be {state}",
                     lambda: self.session.is_mapped(wid) == shown,
                     timeout=max(0.0, deadline - time.monotonic()))
        except Failed:
            session = self.session
            raise Failed(f"timed out waiting for the main window to be {state}: viewable "
                         f"{session.is_mapped(wid)}, managed {wid in session.client_list()}, "
                         f"state {session.wm_state(wid)}{self.stacks()}"
                         f"{session.window_report(wid, self.proc.pid)}") from None

    def stacks(self):
        """The program's threads' stacks, for a failure where it seems stuck (needs gdb)."""
        if shutil.which("gdb") is None or not self.alive():
            return ""
        try:
            out = subprocess.run(["gdb", "-p", str(self.proc.pid), "-batch", "-nx",
                                  "-ex", "thread apply all bt 25"],
                                 capture_output=True, text=True, timeout=60).stdout
        except subprocess.TimeoutExpired:
            return "\n(gdb did not answer within 60 s)"
        frames = [line for line in out.splitlines() if line.startswith(("Thread ", "#"))]
        return "\nthe program's threads:\n" + "\n".join(frames)

    def focus(self):
        self.session.activate(self.main_window())

    def dialogs(self, name):
        """Shown top-level windows of the program with exactly this caption. Only windows the
        window manager lists count: the tray icon, titled like the program, never does."""
        return [wid for wid in self.session.client_list()
                if self.session.window_name(wid) == name
                and self.session.window_pid(wid) == self.proc.pid and self.session.is_mapped(wid)]

    def wait_dialog(self, name, timeout=10.0, other_than=()):
        """The program's window titled exactly `name`, once the window manager manages it."""
        def probe():
            if not self.alive():
                raise Failed(f"the program ended (code {self.proc.returncode}) while a window "
                             f"titled {name!r} was awaited:\n{self.log()}")
            return self.session.managed_window(name, self.proc.pid, other_than)
        return wait_for(f"a window titled {name!r}", probe, timeout=timeout)

    def wait_focused_dialog(self, name, timeout=10.0, other_than=()):
        """As wait_dialog, and the box has the focus by itself, as the person who opened it
        expects to type into it straight away."""
        box = self.wait_dialog(name, timeout=timeout, other_than=other_than)
        self.session.wait_active(box, f"the window {name!r} to take the focus", timeout=timeout)
        return box

    def wait_no_dialog(self, name, timeout=10.0):
        wait_for(f"the window {name!r} to close", lambda: not self.dialogs(name), timeout=timeout)

    def keys_handled(self):
        """Returns once the program has handled every key typed into its window so far: keys
        arrive in order, so when the input box that Insert opens is up, those before it are
        done with. For checks that a key changed nothing."""
        self.session.key("Insert")
        self.wait_dialog("New task")
        self.session.key("Escape")
        self.wait_no_dialog("New task")

    def tray_icon(self, timeout=10.0):
        def probe():
            mine = set(self.session.pid_windows(self.proc.pid))
            inside = mine & self.session.tray_children()
            return min(inside) if inside else None
        return wait_for("the tray icon inside the tray host", probe, timeout=timeout)

    def click_tray(self, count=1):
        icon = self.tray_icon()
        args = ["mousemove", "--window", str(icon), "8", "8", "click"]
        if count > 1:
            args += ["--repeat", str(count), "--delay", "90"]
        self.session.xdotool(*args, "1")


def settle(seconds):
    """Lets time pass, for checks that something does NOT happen over a stretch of time (no
    save while idle, no single-click action after a double click). Where a key's handling is
    what counts, use keys_handled instead."""
    time.sleep(seconds)
