# SPDX-License-Identifier: MIT
"""A private X session for driving the real program: Xvfb, openbox, trayer, a session bus.

Everything runs with its own display, runtime folder, temp folder and home, so parallel runs
never see each other and nothing of the user's own session or data is touched.
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time

SKIP = 77
# Bound for a program's cold start (X server, window manager, the program under test): beside a
# parallel build on two cores that takes seconds, not the fraction of one it takes when idle.
STARTUP_TIMEOUT = 30.0


class Skipped(Exception):
    """The environment cannot run the scenario at all (no X server)."""


class Failed(Exception):
    """An observable result differs from what the program must show."""


def wait_for(what, probe, timeout=10.0, interval=0.1):
    """Polls probe() until it returns a true value; raises Failed naming `what` otherwise."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = probe()
        if last:
            return last
        if time.monotonic() >= deadline:
            raise Failed(f"timed out waiting for {what}")
        time.sleep(interval)


class XSession:
    def __init__(self, root):
        self.root = root
        self.procs = []
        self.env = None
        self.display = None

    # --- set-up -----------------------------------------------------------------------------

    def start(self, tray=True):
        """tray=False: a desktop without a tray host; start_tray() adds one later."""
        if shutil.which("Xvfb") is None:
            raise Skipped("Xvfb is not installed")
        for tool in ("openbox", "trayer", "xdotool", "xclip", "xwininfo", "xprop", "xmessage"):
            if shutil.which(tool) is None:
                raise Skipped(f"{tool} is not installed")
        self._start_xvfb()
        self.env = self._base_env()
        self._start_bus()
        # --debug: the log names every window it manages; failure reports quote it.
        self._spawn(["stdbuf", "-oL", "openbox", "--sm-disable", "--debug"], "openbox")
        self._wait_window_manager()
        if tray:
            self.start_tray()

    def start_tray(self):
        self._spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                     "--height", "24", "--transparent", "false", "--tint", "0x303030"], "trayer")
        wait_for("the tray host", lambda: self.tray_panel() is not None, timeout=STARTUP_TIMEOUT)

    def _start_xvfb(self):
        read_fd, write_fd = os.pipe()
        log = open(os.path.join(self.root, "xvfb.log"), "wb")
        proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24", "-nolisten", "tcp",
             "-noreset"], pass_fds=(write_fd,), stdout=log, stderr=subprocess.STDOUT,
            start_new_session=True)
        os.close(write_fd)
        self.procs.append(("Xvfb", proc))
        number = b""
        deadline = time.monotonic() + STARTUP_TIMEOUT
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            if proc.poll() is not None:
                break
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        if not number.strip().isdigit():
            self.stop()
            with open(os.path.join(self.root, "xvfb.log"), "rb") as f:
                reason = f.read().decode(errors="replace").strip().splitlines()[-1:] or ["no output"]
            raise Skipped(f"Xvfb could not start: {reason[0]}")
        self.display = ":" + number.decode().strip()

    def _base_env(self):
        home = os.path.join(self.root, "home")
        runtime = os.path.join(self.root, "runtime")
        tmp = os.path.join(self.root, "tmp")
        for path in (home, runtime, tmp):
            os.makedirs(path, mode=0o700, exist_ok=True)
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QT_", "WAYLAND", "XDG_", "DBUS_", "TALLYVOX_"))}
        env.update({
            "DISPLAY": self.display, "HOME": home, "TMPDIR": tmp, "XDG_RUNTIME_DIR": runtime,
            "XDG_SESSION_TYPE": "x11", "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "APPDATA": os.path.join(home, "appdata-unused"),
            "QT_QPA_PLATFORM": "xcb", "QT_ACCESSIBILITY": "0", "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8", "TALLYVOX_SITE_URL": "",
        })
        return env

    def _start_bus(self):
        # A private bus keeps the program off the user's own tray watcher and portals; without one
        # Qt uses the XEmbed tray, which is what trayer hosts anyway.
        if shutil.which("dbus-daemon") is None:
            self.env["DBUS_SESSION_BUS_ADDRESS"] = "disabled:"
            return
        # Only the accessibility bus can be started on demand: nothing else installed on the
        # machine (a real portal, a desktop's idle monitor) can be started on this bus and take
        # a fake's name.
        services = os.path.join(self.root, "bus-services")
        os.makedirs(services, exist_ok=True)
        a11y = "/usr/share/dbus-1/services/org.a11y.Bus.service"
        if os.path.exists(a11y):
            shutil.copy(a11y, services)
        config = os.path.join(self.root, "session-bus.conf")
        with open(config, "w") as f:
            f.write('<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>'
                    f'<servicedir>{services}</servicedir>'
                    '<policy context="default"><allow send_destination="*" eavesdrop="true"/>'
                    '<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>')
        proc = subprocess.Popen(["dbus-daemon", f"--config-file={config}", "--nofork", "--print-address=1"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.env,
                                start_new_session=True)
        self.procs.append(("dbus-daemon", proc))
        address = proc.stdout.readline().decode().strip()
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address or "disabled:"

    def _spawn(self, argv, name):
        log = open(os.path.join(self.root, name + ".log"), "wb")
        proc = subprocess.Popen(argv, env=self.env, stdout=log, stderr=subprocess.STDOUT,
                                start_new_session=True)
        self.procs.append((name, proc))
        return proc

    def _wait_window_manager(self):
        # Until the window manager has taken a window of its own, a window mapped now may stay
        # unmapped: the script says why and waits it out.
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                              "wait-wm.sh")
        res = subprocess.run([script, str(int(STARTUP_TIMEOUT))], env=self.env,
                             capture_output=True, timeout=STARTUP_TIMEOUT + 10)
        if res.returncode != 0:
            raise Failed(res.stderr.decode(errors="replace").strip()
                         or f"{script} failed ({res.returncode})")

    # --- tear-down --------------------------------------------------------------------------

    def stop(self):
        for _, proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
        for _, proc in reversed(self.procs):
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        self.procs.clear()

    # --- tools ------------------------------------------------------------------------------

    def run(self, argv, check=True, input_bytes=None, raw=False, timeout=20):
        res = subprocess.run(argv, env=self.env, input=input_bytes, capture_output=True,
                             timeout=timeout)
        if check and res.returncode != 0:
            raise Failed(f"{' '.join(argv)} failed ({res.returncode}): "
                         f"{res.stderr.decode(errors='replace').strip()}")
        return res.stdout if raw else res.stdout.decode(errors="replace")

    def xdotool(self, *args, check=True):
        return self.run(["xdotool", *args], check=check)

    def key(self, *keys):
        """Types key combinations into whatever window has the focus, as a person would."""
        self.xdotool("key", "--delay", "60", *keys)

    def type_text(self, text):
        self.xdotool("type", "--delay", "40", text)

    def window_name(self, wid):
        return self.xdotool("getwindowname", str(wid), check=False).rstrip("\n")

    def is_mapped(self, wid):
        out = self.run(["xwininfo", "-id", str(wid)], check=False)
        return "Map State: IsViewable" in out

    def pid_windows(self, pid):
        out = self.xdotool("search", "--pid", str(pid), check=False)
        return [int(w) for w in out.split()]

    def client_list(self):
        """The top-level windows the window manager manages, in the order it mapped them."""
        out = self.run(["xprop", "-root", "_NET_CLIENT_LIST"], check=False)
        if "#" not in out:
            return []
        return [int(w, 16) for w in out.split("#", 1)[1].replace(",", " ").split()]

    def wm_state(self, wid):
        """ICCCM state the window manager gave the window: "Normal", "Iconic", or None."""
        out = self.run(["xprop", "-id", str(wid), "WM_STATE"], check=False)
        marker = "window state: "
        return out.split(marker, 1)[1].split()[0] if marker in out else None

    def is_managed(self, wid):
        """Managed, in the normal state and viewable: only now does an activation reach it."""
        return (wid in self.client_list() and self.wm_state(wid) == "Normal"
                and self.is_mapped(wid))

    def window_report(self, wid, pid):
        """Every window of the process with its map state, the properties of `wid` and the
        window manager's last words: what a window that never showed needs explained."""
        lines = ["the process's windows:"]
        for other in self.pid_windows(pid):
            state = self.run(["xwininfo", "-id", str(other)], check=False)
            state = next((l.strip() for l in state.splitlines() if "Map State" in l), "gone")
            lines.append(f"  {self.describe(other)}: {state}")
        lines.append(f"properties of {wid:#x}:")
        props = ["WM_NAME", "WM_HINTS", "WM_NORMAL_HINTS", "WM_STATE", "WM_TRANSIENT_FOR",
                 "_NET_WM_STATE", "_NET_WM_WINDOW_TYPE", "_NET_WM_DESKTOP", "_NET_FRAME_EXTENTS"]
        out = self.run(["xprop", "-id", str(wid), *props], check=False)
        lines += ["  " + l for l in out.splitlines()]
        try:
            with open(os.path.join(self.root, "openbox.log"), encoding="utf-8",
                      errors="replace") as f:
                log = f.read().splitlines()
        except FileNotFoundError:
            log = []
        lines.append(f"the window manager's log on {wid:#x}:")
        lines += ["  " + l for l in log if f"{wid:#x}" in l]
        lines.append("the window manager's log, last lines:")
        lines += ["  " + l for l in log[-30:]]
        return "\n" + "\n".join(lines)

    def describe(self, wid):
        if wid is None:
            return "no window"
        return f"window {wid:#x} {self.window_name(wid)!r}"

    def wait_managed(self, wid, timeout=10.0):
        try:
            wait_for(f"{self.describe(wid)} to be managed", lambda: self.is_managed(wid),
                     timeout=timeout)
        except Failed:
            raise Failed(f"{self.describe(wid)} never became a managed, viewable window: "
                         f"listed {wid in self.client_list()}, state {self.wm_state(wid)}, "
                         f"viewable {self.is_mapped(wid)}") from None

    def managed_window(self, title, pid=None, exclude=()):
        """The managed top-level window titled exactly `title` (of process `pid` if given), or
        None. Windows are told apart by title and process, never by where they stand."""
        for wid in self.client_list():
            if wid in exclude or self.window_name(wid) != title:
                continue
            if pid is not None and self.window_pid(wid) != pid:
                continue
            if self.is_managed(wid):
                return wid
        return None

    def find_window(self, what, title, pid=None, timeout=10.0, exclude=()):
        return wait_for(what, lambda: self.managed_window(title, pid, exclude), timeout=timeout)

    def window_pid(self, wid):
        out = self.run(["xprop", "-id", str(wid), "_NET_WM_PID"], check=False)
        value = out.split("=", 1)[1].strip() if "=" in out else ""
        return int(value) if value.isdigit() else None

    def focus_window(self):
        out = self.xdotool("getwindowfocus", check=False).strip()
        return int(out) if out.isdigit() else None

    def active_window(self):
        out = self.xdotool("getactivewindow", check=False).strip()
        return int(out) if out.isdigit() else None

    def has_focus(self, wid):
        """The window manager calls it active and the keyboard input goes to it."""
        return self.active_window() == wid and self.focus_window() == wid

    def wait_active(self, wid, what=None, timeout=10.0):
        """Waits until wid has the focus without asking for it (the program or the window
        manager must give it)."""
        try:
            wait_for(what or f"{self.describe(wid)} to get the focus",
                     lambda: self.has_focus(wid), timeout=timeout)
        except Failed:
            raise Failed(f"{what or self.describe(wid) + ' to get the focus'}: timed out; "
                         f"the focus is on {self.describe(self.focus_window())}") from None

    def activate(self, wid, timeout=15.0):
        """Gives wid the focus as a pager would. The request goes out only once the window
        manager manages the window (before that it drops it), and again every second while
        the focus is elsewhere: a window that maps meanwhile may take the focus."""
        self.wait_managed(wid, timeout=timeout)
        deadline = time.monotonic() + timeout
        while True:
            self.xdotool("windowactivate", str(wid), check=False)
            resend = min(deadline, time.monotonic() + 1.0)
            while time.monotonic() < resend:
                if self.has_focus(wid):
                    return
                time.sleep(0.05)
            if time.monotonic() >= deadline:
                raise Failed(f"timed out waiting for {self.describe(wid)} to get the focus; "
                             f"it is on {self.describe(self.focus_window())}, managed "
                             f"{self.is_managed(wid)}")

    def start_window(self, argv, title, name="window", timeout=10.0):
        """Starts another program whose window is titled `title` (unique to this call) and
        returns (process, window) once the window manager manages that window."""
        proc = subprocess.Popen(argv, env=self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        self.procs.append((name, proc))

        def probe():
            if proc.poll() is not None:
                raise Failed(f"{name} ended (code {proc.returncode}) before showing {title!r}")
            return self.managed_window(title)
        return proc, wait_for(f"the window {title!r} of {name}", probe, timeout=timeout)

    def tray_panel(self):
        out = self.xdotool("search", "--classname", "panel", check=False).split()
        return int(out[0]) if out else None

    def tray_children(self):
        """Ids of all windows that live inside the tray host's panel."""
        panel = self.tray_panel()
        if panel is None:
            return set()
        out = self.run(["xwininfo", "-tree", "-id", str(panel)], check=False)
        ids = set()
        for line in out.splitlines():
            word = line.strip().split(" ", 1)[0]
            if word.startswith("0x"):
                ids.add(int(word, 16))
        ids.discard(panel)
        return ids

    def clipboard(self):
        """The clipboard's text as UTF-8 bytes, exactly as another program would paste it."""
        return self.run(["xclip", "-selection", "clipboard", "-o", "-t", "UTF8_STRING"],
                        raw=True, check=False)

    def set_clipboard(self, data):
        # xclip stays as the owner in the background until another program takes the selection.
        proc = subprocess.Popen(["xclip", "-selection", "clipboard", "-i", "-quiet"],
                                env=self.env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        self.procs.append(("xclip", proc))
        proc.stdin.write(data)
        proc.stdin.close()
        wait_for("the clipboard to be set", lambda: self.clipboard() == data, timeout=5)

    def window_shot(self, path, wid):
        """The window with its frame and title bar, cut out of a picture of the whole screen."""
        whole = path + ".root.png"
        if not self.screenshot(whole):
            return False
        info = self.run(["xwininfo", "-id", str(wid)], check=False)
        values = dict(line.strip().split(":", 1) for line in info.splitlines() if ":" in line)
        x, y = (int(values["Absolute upper-left " + k]) for k in ("X", "Y"))
        w, h = int(values["Width"]), int(values["Height"])
        extents = self.run(["xprop", "-id", str(wid), "_NET_FRAME_EXTENTS"], check=False)
        left = right = top = bottom = 0
        if "=" in extents:
            left, right, top, bottom = (int(v) for v in extents.split("=", 1)[1].split(","))
        geometry = f"{w + left + right}x{h + top + bottom}+{x - left}+{y - top}"
        self.run(["convert", whole, "-crop", geometry, "+repage", path], check=False)
        os.remove(whole)
        return os.path.exists(path)

    def screenshot(self, path, wid=None):
        if shutil.which("import") is None:
            return False
        target = "root" if wid is None else str(wid)
        self.run(["import", "-window", target, path], check=False)
        return os.path.exists(path)


def make_root(prefix):
    return tempfile.mkdtemp(prefix=prefix)


def kill_group(proc, sig=signal.SIGKILL):
    try:
        os.killpg(proc.pid, sig)
    except ProcessLookupError:
        pass
