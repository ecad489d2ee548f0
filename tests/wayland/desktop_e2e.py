#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The real program against the services of a Wayland desktop: a real compositor (weston,
headless) and, on a private session bus, a fake GlobalShortcuts portal and a fake
StatusNotifierWatcher.

usage: desktop_e2e.py --binary build/tallyvox SCENARIO

Exit code 0 when the scenario passed, 1 when it failed, 77 when a tool it needs is missing.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import threading
import traceback

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
sys.path.insert(0, HERE)

SKIP = 77
try:
    import dbus  # noqa: F401
    from gi.repository import GLib  # noqa: F401
except ImportError:
    # The interpreter CMake found may be a private one without Debian's python3-dbus.
    system = "/usr/bin/python3"
    if os.path.realpath(sys.executable) != os.path.realpath(system) and os.access(system, os.X_OK):
        os.execv(system, [system] + sys.argv)
    print("SKIPPED: python3-dbus and python3-gi are not installed")
    sys.exit(SKIP)

from app import IDLE_TITLE, TallyvoxApp, settle  # noqa: E402
from fake_desktop import FakeDesktop  # noqa: E402
from scenarios import add_task, check, select_and_run  # noqa: E402
from xsession import Failed, Skipped, XSession, make_root, wait_for  # noqa: E402
import sni  # noqa: E402

SCENARIOS = {}


def scenario(func):
    SCENARIOS[func.__name__] = func
    return func


def bus_address(session):
    address = session.env.get("DBUS_SESSION_BUS_ADDRESS", "disabled:")
    if address == "disabled:":
        raise Skipped("dbus-daemon is not installed")
    return address


def start_weston(session):
    """A headless weston on its own socket; returns the socket's name."""
    if shutil.which("weston") is None:
        raise Skipped("weston is not installed")
    name = "wayland-tallyvox"
    runtime = session.env["XDG_RUNTIME_DIR"]
    log = open(os.path.join(session.root, "weston.log"), "wb")
    proc = subprocess.Popen(["weston", "--backend=headless-backend.so", f"--socket={name}",
                             "--no-config", "--idle-time=0"], env=session.env, stdout=log,
                            stderr=subprocess.STDOUT, start_new_session=True)
    session.procs.append(("weston", proc))

    def probe():
        if proc.poll() is not None:
            raise Skipped(f"weston could not start (code {proc.returncode}), see weston.log")
        return os.path.exists(os.path.join(runtime, name))
    wait_for("the weston socket", probe, timeout=15)
    return name


@scenario
def portal_hot_keys(session, binary, root, mode="documented"):
    """On a Wayland session both hot keys come through the portal; without one, silence. The
    session is named tallyvox; BindShortcuts is called only where CreateSession did not bind."""
    address = bus_address(session)
    display = start_weston(session)
    session.env.update({"WAYLAND_DISPLAY": display, "XDG_SESSION_TYPE": "wayland"})

    # Natively on the compositor: without a portal on the bus the program starts and runs on;
    # with one, BringToFront shows the hidden window (its tray menu then offers "Hide").
    for with_portal in (False, True):
        desktop = FakeDesktop(address, portal=with_portal, watcher=True, mode=mode)
        try:
            native = TallyvoxApp(session, binary, root, f"native-{with_portal}")
            native.suppress_hide_tip()
            env_before = dict(session.env)
            session.env["QT_QPA_PLATFORM"] = "wayland"
            del session.env["DISPLAY"]
            # Under the leak checker: Qt's Wayland plugin keeps allocations until exit from a
            # module unloaded by then, which no suppression can name. The X11 run below checks
            # the portal code for leaks.
            session.env["ASAN_OPTIONS"] = ":".join(filter(None, (os.environ.get("ASAN_OPTIONS"),
                                                                 "detect_leaks=0")))
            session.procs.append(("tallyvox", native.start(hidden=True)))
            session.env.clear()
            session.env.update(env_before)
            service, path = wait_for("the tray item of the program on Wayland", lambda: desktop.watcher.items,
                                     timeout=15)[0]
            item = sni.Item(address, service, path)
            check(item.menu()[1] == ("Show", True), f"the hidden program's menu: {item.menu()!r}")
            if with_portal:
                wait_for("the shortcuts bound on Wayland", lambda: desktop.portal.bound, timeout=15)
                check(desktop.portal.sessions[-1].endswith("/tallyvox"),
                      f"the portal session {desktop.portal.sessions[-1]}")
                desktop.activate("BringToFront")
                wait_for("the window shown by BringToFront", lambda: item.menu()[1] == ("Hide", True))
            else:
                settle(1.0)
            check(native.alive(), f"the program ended on Wayland:\n{native.log()}")
            native.terminate()
            check(native.wait_exit() == 0, "the program did not end cleanly on SIGTERM")
        finally:
            desktop.stop()

    # Through XWayland's stand-in (X11 platform, Wayland session): the portal's Activated.
    desktop = FakeDesktop(address, portal=True, watcher=False, mode=mode)
    try:
        portal = desktop.portal
        app = TallyvoxApp(session, binary, root, "xcb")
        app.suppress_hide_tip()
        # Idle checks while a task runs: on this compositor (no idle protocol) they would go to
        # the desktop's D-Bus idle monitors, which nobody provides yet.
        with open(app.path("settings.ini"), "ab") as f:
            f.write(b"[InactivityDetection]\r\nEnabled=1\r\nPeriod=60\r\n")
        monitor = start_monitor(session, address)
        session.procs.append(("tallyvox", app.start()))
        bound = wait_for("the shortcuts bound at the portal", lambda: portal.bound, timeout=15)
        triggers = {i: p.get("preferred_trigger") for i, p in bound[-1][1]}
        check(triggers == {"BringToFront": "CTRL+SHIFT+space", "ToggleTracking": "ALT+SHIFT+space"},
              f"the program bound {bound[-1][1]!r}")
        check(all(p.get("description") for _, p in bound[-1][1]), "a shortcut has no description")
        add_task(app, "Alpha")
        select_and_run(app, ["Home"], "Alpha")
        check(portal.bind_calls == (0 if mode == "kde527" else 1),
              f"{portal.bind_calls} BindShortcuts calls in mode {mode}")

        desktop.activate("ToggleTracking")
        app.wait_title(IDLE_TITLE)
        paused = app.wait_tasks("the paused time", lambda rows: rows[0][1] > 0)[0][1]
        settle(1.5)
        check(app.tasks()[0][1] == paused, f"time went on while paused: {app.tasks()!r}")
        desktop.activate("ToggleTracking")
        app.wait_title("Alpha - Tallyvox")
        app.wait_tasks("the resumed task's time growing", lambda rows: rows[0][1] > paused)

        # A flood of activations of another session's and of an unbound shortcut, which change
        # nothing, and of BringToFront: the program keeps answering.
        other = f"{os.path.dirname(portal.sessions[-1])}/other"
        for shortcut, target, count in (("ToggleTracking", other, 8001), ("Unbound", None, 8000),
                                        ("BringToFront", None, 8000)):
            desktop.activate(shortcut, session=target, count=count)
        flooded = threading.Event()
        desktop.in_loop(flooded.set)
        wait_for("the flood sent", flooded.is_set, timeout=60)
        code, out, err = app.remote("--status", timeout=10)
        check(code == 0 and b"Alpha" in out, f"--status after the flood: {code} {out!r} {err}")
        check(app.title() == "Alpha - Tallyvox", f"the title after the flood: {app.title()!r}")

        # Idle questions go only to a service that is there, once it is there.
        check(not monitor_calls(monitor), f"idle questions to nobody: {monitor_calls(monitor)}")
        screensaver = desktop.serve_idle()
        wait_for("the idle question to the monitor that appeared", lambda: screensaver.questions)
        check(monitor_calls(monitor) == ["GetSessionIdleTime"] * screensaver.questions,
              f"idle questions: {monitor_calls(monitor)}")

        app.focus()
        session.key("Escape")
        app.wait_mapped(False)
        desktop.activate("BringToFront")
        app.wait_mapped(True)

        app.terminate()
        check(app.wait_exit() == 0, "the program did not end cleanly on SIGTERM")
        wait_for("the portal session to be closed", lambda: portal.closed == portal.sessions[-1:])
    finally:
        desktop.stop()


@scenario
def portal_hot_keys_kde527(session, binary, root):
    """As portal_hot_keys, on a portal that binds only from CreateSession's options."""
    portal_hot_keys(session, binary, root, mode="kde527")


def start_monitor(session, address):
    """dbus-monitor on the questions to the desktop's idle monitors; returns its log's path."""
    log = os.path.join(session.root, "idle-questions.txt")
    rules = [f"type='method_call',interface='{i}'" for i in ("org.freedesktop.ScreenSaver",
                                                             "org.gnome.Mutter.IdleMonitor")]
    session.procs.append(("dbus-monitor", subprocess.Popen(
        ["dbus-monitor", "--address", address, *rules], stdout=open(log, "wb"), start_new_session=True)))
    settle(0.5)
    return log


def monitor_calls(log):
    with open(log, "rb") as f:
        return re.findall(r"^method call .* member=(\w+)", f.read().decode(errors="replace"), re.M)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("scenario", choices=sorted(SCENARIOS) + sorted(sni.SCENARIOS))
    args = parser.parse_args()
    run = SCENARIOS.get(args.scenario) or sni.SCENARIOS[args.scenario]
    root = make_root(f"tallyvox-desktop-{args.scenario}-")
    session = XSession(root)
    try:
        session.start()
        run(session, os.path.abspath(args.binary), root)
        print(f"PASSED: {args.scenario}")
        return 0
    except Skipped as e:
        print(f"SKIPPED: {args.scenario}: {e}")
        return SKIP
    except Exception as e:  # noqa: BLE001 - any fault of the run fails the scenario
        print(f"FAILED: {args.scenario}: {e}")
        if not isinstance(e, Failed):
            traceback.print_exc()
        for name in sorted(os.listdir(root)):
            if name.endswith(".log"):
                with open(os.path.join(root, name), "rb") as f:
                    text = f.read().decode(errors="replace").strip()
                if text:
                    print(f"--- {name} ---\n{text[-3000:]}")
        return 1
    finally:
        session.stop()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
