# SPDX-License-Identifier: MIT
"""What a person does with the program, and what they must see afterwards."""

import fcntl
import http.server
import itertools
import json
import os
import re
import signal
import socket
import subprocess
import threading
import time

from app import IDLE_TITLE, TallyvoxApp, duration_text, encode_tasks, settle
from xsession import STARTUP_TIMEOUT, Failed, Skipped, wait_for

SCENARIOS = {}
_OTHER_WINDOWS = itertools.count(1)


def scenario(func):
    SCENARIOS[func.__name__] = func
    return func


def check(condition, message):
    if not condition:
        raise Failed(message)


def add_task(app, caption):
    """Insert, type the caption into the input box, Enter; waits until the row is saved."""
    before = len(app.tasks() or [])
    app.focus()
    app.session.key("Insert")
    app.wait_focused_dialog("New task")
    app.session.type_text(caption)
    app.session.key("Return")
    app.wait_no_dialog("New task")
    rows = app.wait_tasks(f"the new task {caption!r}", lambda r: len(r) == before + 1)
    check(rows[-1] == (caption, 0), f"the new row was saved as {rows[-1]!r}, not ({caption!r}, 0)")


def to_row(rows, index):
    """Keys that select just the row at index, from wherever the list's cursor stands."""
    return ["Home"] + ["Down"] * index


def select_and_run(app, keys, caption):
    app.focus()
    app.session.key(*keys, "Return")
    app.wait_title(f"{caption} - Tallyvox")


def other_window(session):
    """Another program's window, focused: hot keys must work from there. Each call starts a
    new one with a title of its own, so it is never confused with an earlier one."""
    title = f"another program {next(_OTHER_WINDOWS)}"
    _, wid = session.start_window(["xmessage", "-name", "otherprogram", "-title", title,
                                   "-geometry", "+40+500", title], title, "xmessage")
    session.activate(wid)
    return wid


@scenario
def tasks_and_title(session, app, artifacts):
    """Two tasks through the input box; Enter switches between them; the title follows, and
    shows the caption exactly as typed."""
    beta = "[*]Beta [*][*] two[*]"  # what Qt takes for its "modified" mark, at both ends
    app.suppress_hide_tip()
    app.start()
    app.wait_title(IDLE_TITLE)
    add_task(app, "Alpha")
    add_task(app, beta)
    check(app.title() == IDLE_TITLE, f"adding tasks started one: title {app.title()!r}")
    select_and_run(app, to_row(2, 0), "Alpha")
    select_and_run(app, ["Down"], beta)
    select_and_run(app, ["Up"], "Alpha")
    app.session.key("space")
    app.wait_title(IDLE_TITLE)
    # Enter on the row that already runs changes nothing; Enter on the other one switches.
    select_and_run(app, to_row(2, 1), beta)
    app.session.key("Return")
    app.keys_handled()
    check(app.title() == f"{beta} - Tallyvox", f"Enter on the active row: {app.title()!r}")
    rows = app.wait_tasks("time charged to both tasks", lambda r: all(ms > 0 for _, ms in r))
    check([c for c, _ in rows] == ["Alpha", beta], f"rows out of order: {rows!r}")
    app.wait_tasks("Beta charged two seconds", lambda r: r[1][1] >= 2000)
    os.makedirs(artifacts, exist_ok=True)
    session.screenshot(os.path.join(artifacts, "desktop.png"))
    shot = os.path.join(artifacts, "running-task.png")
    if session.window_shot(shot, app.main_window()):
        check(os.path.getsize(shot) > 1000, "the main window screenshot is empty")


@scenario
def time_lands_in_file(session, app, artifacts):
    """A running task's time grows in tasks.db with every tick and never exceeds real time."""
    app.suppress_hide_tip()
    app.start()
    add_task(app, "Gamma")
    started = time.monotonic()
    select_and_run(app, to_row(1, 0), "Gamma")
    seen = []
    for threshold in (1000, 2000, 3000):
        rows = app.wait_tasks(f"at least {threshold} ms", lambda r, t=threshold: r[0][1] >= t)
        elapsed_ms = (time.monotonic() - started) * 1000
        seen.append(rows[0][1])
        check(rows[0][1] <= elapsed_ms + 50,
              f"{rows[0][1]} ms charged after only {elapsed_ms:.0f} ms of real time")
    check(seen == sorted(seen), f"the charged time went backwards: {seen}")
    app.session.key("space")
    app.wait_title(IDLE_TITLE)
    stopped = app.tasks_bytes()
    settle(2.5)
    check(app.tasks_bytes() == stopped, "tasks.db kept changing while no task was active")


@scenario
def clipboard_copy(session, app, artifacts):
    """Copy and cut give caption TAB time, CR LF between rows, none after the list's last row."""
    stored = [("A", 5000), ("Café ☕", 130000), ("C", 3600000)]
    app.write_tasks(stored)
    original = app.tasks_bytes()
    app.suppress_hide_tip()
    app.start()
    app.wait_title(IDLE_TITLE)
    # Keys no enabled action takes reach the list as ordinary keys, and the list copies
    # nothing: not the current row without a selection, not on Ctrl+Insert or the Copy key.
    for keys in (["ctrl+c"], to_row(3, 0) + ["ctrl+space", "ctrl+c"],
                 to_row(3, 0) + ["shift+Down", "ctrl+Insert"], ["XF86Copy"]):
        session.set_clipboard(b"untouched")
        app.focus()
        session.key(*keys)
        app.keys_handled()
        check(session.clipboard() == b"untouched",
              f"{'+'.join(keys)} without an action for it put {session.clipboard()!r} "
              f"on the clipboard")
    cases = [
        (to_row(3, 0), "A\t0:05\r\n"),
        (to_row(3, 2), "C\t1:00:00"),
        (to_row(3, 1), "Café ☕\t2:10\r\n"),
        (["ctrl+a"], "A\t0:05\r\nCafé ☕\t2:10\r\nC\t1:00:00"),
        (to_row(3, 0) + ["shift+Down"], "A\t0:05\r\nCafé ☕\t2:10\r\n"),
        (to_row(3, 0) + ["ctrl+End", "ctrl+space"], "A\t0:05\r\nC\t1:00:00"),
    ]
    for keys, expected in cases:
        session.set_clipboard(b"untouched")
        app.focus()
        session.key(*keys, "ctrl+c")
        want = expected.encode("utf-8")
        try:
            wait_for(f"the clipboard after {keys}", lambda w=want: session.clipboard() == w,
                     timeout=5)
        except Failed:
            raise Failed(f"after {'+'.join(keys)} Ctrl+C the clipboard holds "
                         f"{session.clipboard()!r}, expected {want!r}") from None
    check(app.tasks_bytes() == original, "loading and copying rewrote tasks.db")
    session.set_clipboard(b"untouched")
    app.focus()
    session.key(*to_row(3, 2), "ctrl+x")
    wait_for("the cut row on the clipboard", lambda: session.clipboard() == b"C\t1:00:00", 5)
    app.wait_tasks("the cut row removed", lambda r: r == stored[:2])


@scenario
def hide_and_hot_key(session, app, artifacts):
    """Esc hides (the tip once), Ctrl+Shift+Space from another program brings the window back."""
    app.start()
    app.focus()
    session.key("Escape")
    # The tip takes the focus by itself: Enter right after Esc answers it.
    tip = app.wait_focused_dialog("Tallyvox")
    app.wait_mapped(False)
    check(not os.path.exists(app.path("notip")), "notip was written before the tip was dismissed")
    # The tray icon keeps working while the tip is open.
    app.click_tray(count=2)
    app.wait_mapped(True)
    app.click_tray(count=2)
    app.wait_mapped(False)
    check(app.dialogs("Tallyvox") == [tip], "the tray double clicks closed the tip")
    session.activate(tip)
    session.key("Return")
    app.wait_no_dialog("Tallyvox")
    wait_for("the notip marker", lambda: os.path.exists(app.path("notip")))
    check(os.path.getsize(app.path("notip")) == 0, "notip is not empty")
    other = other_window(session)
    session.key("ctrl+shift+space")
    app.wait_mapped(True)
    session.wait_active(app.main_window(), "the main window in front")
    check(session.is_mapped(other), "the other program's window went away")
    # A second hide in the same run shows no tip. The program would map the tip before it
    # handles the hot key, and the window manager handles map requests in order: once the
    # window is back, a tip would be there too.
    session.key("Escape")
    app.wait_mapped(False)
    other_window(session)
    session.key("ctrl+shift+space")
    app.wait_mapped(True)
    check(not app.dialogs("Tallyvox"), "the hide tip came up a second time")


@scenario
def tray_click(session, app, artifacts):
    """A single tray click pauses and resumes, a double click toggles the window, and the pause
    hot key works from another program's window."""
    app.suppress_hide_tip()
    app.start()
    add_task(app, "Epsilon")
    select_and_run(app, to_row(1, 0), "Epsilon")
    app.click_tray()
    app.wait_title(IDLE_TITLE)
    check(app.mapped(), "a single tray click changed the window's visibility")
    app.click_tray()
    app.wait_title("Epsilon - Tallyvox")
    app.click_tray(count=2)
    app.wait_mapped(False)
    settle(1.0)  # past the double-click interval, when a wrongly pending single click acts
    check(app.title() == "Epsilon - Tallyvox",
          f"a double click changed the tracking: title {app.title()!r}")
    app.click_tray(count=2)
    app.wait_mapped(True)
    settle(1.0)
    check(app.title() == "Epsilon - Tallyvox", f"tracking changed: title {app.title()!r}")
    # The other global hot key pauses and resumes from another program's window.
    other = other_window(session)
    session.key("alt+shift+space")
    app.wait_title(IDLE_TITLE)
    session.key("alt+shift+space")
    app.wait_title("Epsilon - Tallyvox")
    check(session.active_window() == other, "the pause hot key took the focus")


@scenario
def second_instance(session, app, artifacts):
    """Started by the entry of --autostart=on (hidden); a second start shows the first and
    ends. --autostart reports the choice, --autostart=off takes the entry away again."""
    app.suppress_hide_tip()
    entry = os.path.join(session.env["XDG_CONFIG_HOME"], "autostart", "tallyvox.desktop")
    for args, output in [(["--autostart"], b"off\n"), (["--autostart=on"], b""),
                         (["--autostart"], b"on\n")]:
        code, out, err = app.remote(*args)
        check((code, out) == (0, output), f"tallyvox {args[0]}: {code} {out!r} {err!r}")
    app.start(hidden=True, argv=app.entry_command(entry))
    app.tray_icon(timeout=STARTUP_TIMEOUT)
    settle(0.5)
    shown = [w for w in session.client_list()
             if session.window_pid(w) == app.proc.pid and session.is_mapped(w)]
    check(not shown, f"TALLYVOX_START_HIDDEN=1 still showed windows: "
                     f"{[session.window_name(w) for w in shown]}")
    other_window(session)
    second = app.launch()
    try:
        code = second.wait(timeout=10)
    except subprocess.TimeoutExpired:
        second.kill()
        second.wait()
        raise Failed("the second instance did not end") from None
    check(code == 0, f"the second instance ended with code {code}")
    app.wait_mapped(True)
    window = app.main_window()
    check(app.title() == IDLE_TITLE, f"the shown window's title is {app.title()!r}")
    session.wait_active(window, "the first instance in front")
    check(app.alive(), "the first instance ended too")
    check(app.remote("--autostart=off")[0] == 0 and not os.path.exists(entry),
          "--autostart=off left the entry")
    check(app.remote("--autostart")[1] == b"off\n", "--autostart after off does not say off")


@scenario
def sigterm_saves(session, app, artifacts):
    """SIGTERM stops the running task and saves the time charged since the last tick."""
    app.suppress_hide_tip()
    app.start()
    add_task(app, "Delta")
    select_and_run(app, to_row(1, 0), "Delta")
    app.wait_tasks("Delta charged 1000 ms", lambda r: r[0][1] >= 1000)
    # Catch a tick's save as it lands, then signal half a second later: the program cannot
    # see the signal before it is sent, so it has charged at least 400 ms beyond that save.
    ticked = app.tasks_bytes()
    wait_for("the next tick's save", lambda: app.tasks_bytes() != ticked, timeout=5,
             interval=0.01)
    last = app.tasks()[0][1]
    settle(0.5)
    with app.exit_watch() as ended:
        app.terminate()
        code = app.wait_exit()
    check(code == 0, f"SIGTERM ended the program with code {code}")
    lag = ended() - os.stat(app.path("tasks.db")).st_mtime
    check(lag < 1.0, f"the process lived on {lag:.2f} s after the quiet save")
    final = app.tasks()
    check(final is not None and len(final) == 1 and final[0][0] == "Delta",
          f"tasks.db after SIGTERM: {app.tasks_bytes()!r}")
    check(final[0][1] >= last + 400,
          f"SIGTERM lost the time since the last tick: {final[0][1]} ms saved, the tick "
          f"before the signal had saved {last} ms")
    # A reset that is only in memory survives SIGTERM too, and the next start shows it.
    app.start()
    app.wait_title(IDLE_TITLE)
    app.focus()
    session.key(*to_row(1, 0), "alt+Delete")
    session.set_clipboard(b"untouched")
    session.key("ctrl+c")
    wait_for("the reset row copied", lambda: session.clipboard() == b"Delta\t0:00")
    app.terminate()
    check(app.wait_exit() == 0, "SIGTERM while idle: bad exit code")
    check(app.tasks() == [("Delta", 0)], f"SIGTERM lost the reset: {app.tasks_bytes()!r}")
    app.start()
    app.wait_title(IDLE_TITLE)
    app.focus()
    session.set_clipboard(b"untouched")
    session.key(*to_row(1, 0), "ctrl+c")
    wait_for("the reloaded row on the clipboard", lambda: session.clipboard() == b"Delta\t0:00")


@scenario
def exit_retry(session, app, artifacts):
    """Exit with an unwritable tasks.db shows the error dialog until Retry can save."""
    app.suppress_hide_tip()
    app.start()
    add_task(app, "Zeta")
    select_and_run(app, to_row(1, 0), "Zeta")
    seen = app.wait_tasks("Zeta charged 1000 ms", lambda r: r[0][1] >= 1000)[0][1]
    db = app.path("tasks.db")
    os.rename(db, db + ".moved")
    os.mkdir(db)
    window = app.main_window()
    session.xdotool("windowmove", str(window), "0", "0")
    wait_for("the window in the screen's corner", lambda: max(frame_origin(session, window)) < 40)
    app.focus()
    session.key("alt+x")
    first = app.wait_dialog("Error")
    check(app.alive(), "the program ended although it could not save")
    x, y, w, h = (int(session.run(["xwininfo", "-id", str(first)]).split(f"{k}:", 1)[1].split()[0])
                  for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
    check(abs(x + w // 2 - 640) < 30 and abs(y + h // 2 - 400) < 40,  # the 1280x800 screen
          f"the error dialog at {x},{y} ({w}x{h}) is not centred on the screen")
    app.wait_title(IDLE_TITLE)
    session.activate(first)
    session.key("Return")  # Retry is the default button; the cause persists
    again = app.wait_dialog("Error", other_than=(first,))
    check(app.alive(), "Retry with the cause still there ended the program")
    os.rmdir(db)
    session.activate(again)
    session.key("Return")
    code = app.wait_exit()
    check(code == 0, f"the program ended with code {code} after a successful Retry")
    rows = app.tasks()
    check(rows is not None and len(rows) == 1 and rows[0][0] == "Zeta" and rows[0][1] >= seen,
          f"tasks.db after Retry: {app.tasks_bytes()!r}, at least {seen} ms expected")


@scenario
def stalled_disk(session, app, artifacts):
    """With every fsync stalled, a new task's save waits in the background while --status
    answers; Exit offers its box with the reason; the saves land once the disk answers again,
    and SIGTERM with the disk stalled again still ends the program."""
    shim = os.path.join(app.build_dir, "bench-shim", "slow_fsync.so")
    if not os.path.exists(shim):
        raise Skipped(f"the fsync shim {shim} is built with the benchmarks only")
    hold = os.path.join(os.path.dirname(app.data), "disk-stalled")
    app.extra_env = {"LD_PRELOAD": shim, "SLOW_FSYNC_HOLD": hold}
    app.suppress_hide_tip()
    app.write_tasks([("Sigma", 5000)])
    app.start()
    open(hold, "wb").close()
    app.focus()
    session.key("Insert")
    app.wait_focused_dialog("New task")
    session.type_text("Omega")
    session.key("Return")
    code, out, err = app.remote("--status")
    check(code == 0 and out == b"", f"--status while the disk stalls: {code} {out!r} {err!r}")
    app.focus()
    session.key("alt+x")
    # Nothing else can fail while every fsync waits: the box says "the disk does not answer".
    session.activate(app.wait_dialog("Error", timeout=8))
    check(app.tasks() == [("Sigma", 5000)], f"a save landed on a stalled disk: {app.tasks()!r}")
    session.key("Escape")  # Cancel: the program runs on
    app.wait_no_dialog("Error")
    os.remove(hold)
    app.wait_tasks("the stalled saves landed", lambda r: r == [("Sigma", 5000), ("Omega", 0)])
    open(hold, "wb").close()
    app.terminate()
    check(app.wait_exit(timeout=12) == 0, "SIGTERM with a stalled disk: bad exit code")


@scenario
def exit_saves(session, app, artifacts):
    """Alt+X while a task runs saves its time and ends; the next start loads it unchanged."""
    app.suppress_hide_tip()
    app.write_tasks([("Eta", 61000), ("Theta", 0)])
    app.start()
    select_and_run(app, to_row(2, 1), "Theta")
    app.wait_tasks("Theta charged", lambda r: r[1][1] >= 1000)
    with app.exit_watch() as ended:
        session.key("alt+x")
        check(app.wait_exit() == 0, "Exit ended the program with a failure code")
    # A session manager waits for the process at every log-out: it must be gone at once.
    lag = ended() - os.stat(app.path("tasks.db")).st_mtime
    check(lag < 1.0, f"the process lived on {lag:.2f} s after Exit's save")
    rows = app.tasks()
    check(rows[0] == ("Eta", 61000) and rows[1][0] == "Theta" and rows[1][1] >= 1000,
          f"tasks.db after Exit: {app.tasks_bytes()!r}")
    saved = app.tasks_bytes()
    check(saved == encode_tasks(rows), "tasks.db is not byte for byte in the program's format")
    app.start()
    app.wait_title(IDLE_TITLE)
    settle(1.5)
    check(app.tasks_bytes() == saved, "starting and idling rewrote tasks.db")


@scenario
def inactivity_stop(session, app, artifacts):
    """With a 2 s period, a task left alone is stopped with the warning box; its time keeps
    the idle seconds, and a tray click resumes the same task."""
    app.suppress_hide_tip()
    with open(app.path("settings.ini"), "wb") as f:
        f.write(b"[InactivityDetection]\r\nEnabled=1\r\nPeriod=2\r\n")
    app.write_tasks([("Iota", 0)])
    app.start()
    select_and_run(app, to_row(1, 0), "Iota")
    box = app.wait_dialog("Tallyvox activity detection", timeout=15)
    app.wait_title(IDLE_TITLE)
    rows = app.wait_tasks("the idle time saved with the task", lambda r: r[0][1] >= 2000)
    check(rows[0][0] == "Iota", f"tasks.db after the stop: {app.tasks_bytes()!r}")
    with open(app.path("settings.ini"), "wb") as f:  # read at every check: no second stop
        f.write(b"[InactivityDetection]\r\nEnabled=1\r\nPeriod=600\r\n")
    # While the box is open the tray menu opens, and a single click resumes the same task.
    session.xdotool("mousemove", "--window", str(app.tray_icon()), "8", "8", "click", "3")
    wait_for("the tray menu", lambda: tooltips(app))
    session.key("Escape")
    app.click_tray()
    app.wait_title("Iota - Tallyvox")
    check(app.dialogs("Tallyvox activity detection") == [box], "the tray click closed the box")
    session.activate(box)
    session.key("Return")
    app.wait_no_dialog("Tallyvox activity detection")
    app.click_tray()
    app.wait_title(IDLE_TITLE)


@scenario
def unread_list_announced(session, app, artifacts):
    """A task list that an earlier run had to move aside unread is named at the next start,
    and stays where it is."""
    app.suppress_hide_tip()
    app.write_tasks([("Current", 0)])
    unread = app.path("tasks.db.unread")
    kept = encode_tasks([("Lost work", 61000)])
    with open(unread, "wb") as f:
        f.write(kept)
    app.start_behind_box()
    # The box's text (the file's name) is checked by the window's own tests; here the box must
    # come up by itself before the window, and the list must survive it.
    box = app.wait_focused_dialog("Tallyvox")
    session.activate(box)
    session.key("Return")
    app.wait_no_dialog("Tallyvox")
    app.wait_mapped(True)
    app.wait_title(IDLE_TITLE)
    with open(unread, "rb") as f:
        check(f.read() == kept, "the unread list was changed or removed")


class _VersionServer(http.server.BaseHTTPRequestHandler):
    requests = []

    def do_GET(self):  # noqa: N802 (the library's name)
        _VersionServer.requests.append((self.path, self.headers.get("User-Agent")))
        body = b"99.0.0.0\r\n"
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


@scenario
def update_offer(session, app, artifacts):
    """A site that publishes a newer version: about ten seconds after start the program asks
    for /latest-version.txt and offers the download; Cancel opens nothing and writes upd."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), _VersionServer)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        session.env["TALLYVOX_SITE_URL"] = f"http://127.0.0.1:{server.server_address[1]}"
        app.suppress_hide_tip()
        app.start()
        offer = app.wait_dialog("New version available", timeout=25)
        check(_VersionServer.requests[:1] == [("/latest-version.txt", "Mozilla/3.0 (compatible; Indy Library)")],
              f"the request was {_VersionServer.requests!r}")
        check(os.path.getsize(app.path("upd")) > 0, "the next check's time was not stored in upd")
        session.activate(offer)
        session.key("Escape")
        app.wait_no_dialog("New version available")
        app.wait_title(IDLE_TITLE)
        check(app.alive(), "the program ended after the offer")
    finally:
        server.shutdown()


def remote_ok(app, *args):
    """A remote command against the running instance: exit 0, nothing on stderr."""
    code, out, err = app.remote(*args)
    check(code == 0 and not err, f"tallyvox {' '.join(args)} ended with {code}: {err!r}")
    return out


@scenario
def remote_commands(session, app, artifacts):
    """Each command-line command steers the running instance; --status reports it both ways."""
    app.start()
    add_task(app, "Zeta one")
    select_and_run(app, to_row(1, 0), "Zeta one")
    caption, text = remote_ok(app, "--status").decode().rstrip("\n").rsplit("\t", 1)
    check(caption == "Zeta one" and re.fullmatch(r"\d+:\d\d", text), f"--status: {caption!r}, {text!r}")
    state = json.loads(remote_ok(app, "--status", "--format=json"))
    check(state["active"] is True and state["caption"] == "Zeta one"
          and state["time"] == duration_text(state["elapsed_ms"]), f"--format=json printed {state!r}")
    remote_ok(app, "--toggle-tracking")
    app.wait_title(IDLE_TITLE)
    check(remote_ok(app, "--status") == b"", "--status printed something with no task running")
    idle = remote_ok(app, "--status", "--format=json")
    check(idle == b'{"active": false, "caption": "", "time": "", "elapsed_ms": 0}\n',
          f"idle --format=json printed {idle!r}")
    remote_ok(app, "--toggle-tracking")
    app.wait_title("Zeta one - Tallyvox")
    remote_ok(app, "--toggle-window")  # answered without waiting for the tip to be dismissed
    app.wait_mapped(False)
    app.wait_focused_dialog("Tallyvox")
    session.key("Return")
    app.wait_no_dialog("Tallyvox")
    remote_ok(app, "--toggle-window")
    app.wait_mapped(True)
    remote_ok(app, "--toggle-window")
    app.wait_mapped(False)
    other_window(session)
    remote_ok(app, "--show")
    app.wait_mapped(True)
    wait_for("the main window in front", lambda: session.active_window() == app.main_window())
    check(app.title() == "Zeta one - Tallyvox", f"the commands changed the tracking: {app.title()!r}")
    # A plain second start still shows the first instance.
    remote_ok(app, "--toggle-window")
    app.wait_mapped(False)
    check(remote_ok(app) == b"", "a plain second start printed something")
    app.wait_mapped(True)


@scenario
def remote_without_instance(session, app, artifacts):
    """Bad arguments, --help, --version and --status start nothing; a command starts the
    program when none runs."""
    channel = os.path.join(session.env["XDG_RUNTIME_DIR"], f"Vostrak_Tallyvox-{os.geteuid()}")
    for args, code_, stdout, stderr in (
            (["--bogus"], 2, b"", "bogus"), (["stray"], 2, b"", "stray"),
            (["--show", "--status"], 2, b"", "--show"), (["--format=json"], 2, b"", "--status"),
            (["--status", "--format=xml"], 2, b"", "xml"), (["--status"], 1, b"", "not running"),
            (["--follow"], 2, b"", "--status"),
            (["--version"], 0, b"Tallyvox 2.5.2.24\n", ""), (["--help"], 0, b"--toggle-window", "")):
        code, out, err = app.remote(*args)
        check(code == code_ and (stdout in out if stdout else not out) and stderr in err,
              f"tallyvox {' '.join(args)}: code {code}, stdout {out!r}, stderr {err!r}")
    check(not os.path.exists(channel), "an instance was started")
    app.write_tasks([("Eta", 61000)])
    # Toggling the tracking starts in the tray; with no task run yet it resumes nothing.
    app.start(hidden=True, argv=[app.binary, "--toggle-tracking"])
    app.tray_icon(timeout=STARTUP_TIMEOUT)
    check(remote_ok(app, "--status") == b"", "a task runs after --toggle-tracking at start")
    shown = [w for w in session.client_list() if session.window_pid(w) == app.proc.pid]
    check(not shown, f"--toggle-tracking at start showed windows {shown}")
    app.kill()
    # A first press of the window toggle shows the window, and no tip.
    app.start(argv=[app.binary, "--toggle-window"])
    settle(1.0)
    check(app.mapped() and not app.dialogs("Tallyvox"), "--toggle-window at start hid the window")
    # A listener that takes no call (its queue full) holds no start past the bound.
    app.kill()
    if os.path.exists(channel):
        os.unlink(channel)
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    listener.bind(channel)
    listener.listen(0)
    fillers = [socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) for _ in range(3)]
    for filler in fillers:
        filler.setblocking(False)
        try:
            filler.connect(channel)
        except BlockingIOError:
            pass
    lock = open(os.path.join(session.env["XDG_RUNTIME_DIR"], "Vostrak_Tallyvox.lock"), "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    for args in ([], ["--status"], ["--show"]):
        code, out, err = app.remote(*args, timeout=6)
        check(code == 1 and "did not answer" in err, f"tallyvox {' '.join(args)} on a full queue: "
              f"code {code}, stderr {err!r}")
    for s in [listener, lock, *fillers]:
        s.close()


class Follower:
    """tallyvox --status --follow, as a status bar keeps it; a thread collects its lines. It runs
    in a process group of its own, so a signal reaches the process that reads (a child of the
    one started) as well."""

    def __init__(self, app, *args):
        self.proc = subprocess.Popen([app.binary, "--status", "--follow", *args], cwd=app.folder,
                                     env=app.session.env, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, start_new_session=True)
        self.lines = []
        threading.Thread(target=lambda: self.lines.extend(iter(self.proc.stdout.readline, b"")),
                         daemon=True).start()

    def wait(self, what, predicate, timeout=10.0):
        """The first line after those seen so far for which predicate holds."""
        def probe():
            hit = next((i for i, line in enumerate(self.lines) if predicate(line)), None)
            if hit is None:
                return None
            line, self.lines[:hit + 1] = self.lines[hit], []
            return line
        try:
            return wait_for(f"the follower printing {what}", probe, timeout=timeout)
        except Failed:
            raise Failed(f"the follower never printed {what}; it printed {self.lines!r}") from None

    def signal(self, number):
        os.killpg(self.proc.pid, number)

    def stop(self):
        self.signal(signal.SIGCONT)
        self.proc.terminate()
        self.proc.wait()

        def group_gone():
            try:
                os.killpg(self.proc.pid, 0)
                return False
            except ProcessLookupError:
                return True
        wait_for("the follower's reading child ending with it", group_gone, timeout=5.0)


@scenario
def remote_follow(session, app, artifacts):
    """A follower prints the state at once and a line per change, in order: start, pause,
    rename; a stopped follower holds nothing up; the follower outlives the program's exit and
    sees the next copy."""
    app.suppress_hide_tip()
    app.write_tasks([("Nu", 0)])
    follower = Follower(app, "--format=json")
    stuck = None
    try:
        idle = follower.wait("the idle state", lambda line: b'"active": false' in line)
        settle(1.0)
        check(not os.path.exists(os.path.join(session.env["XDG_RUNTIME_DIR"],
                                              f"Vostrak_Tallyvox-{os.geteuid()}")),
              "--follow started the program")
        app.start()
        stuck = Follower(app, "--format=waybar")
        stuck.wait("the idle state", lambda line: b'"class": "idle"' in line)
        stuck.signal(signal.SIGSTOP)
        select_and_run(app, to_row(1, 0), "Nu")
        follower.wait("the start", lambda line: json.loads(line)["caption"] == "Nu")
        app.session.key("space")
        app.wait_title(IDLE_TITLE)
        follower.wait("the pause", lambda line: line == idle)
        select_and_run(app, to_row(1, 0), "Nu")
        follower.wait("the resumed task", lambda line: json.loads(line)["caption"] == "Nu")
        app.session.key("F2")
        app.wait_focused_dialog("Edit task")
        app.session.key("End")
        app.session.type_text(" renamed")
        app.session.key("Return")
        app.wait_title("Nu renamed - Tallyvox")
        follower.wait("the rename", lambda line: json.loads(line)["caption"] == "Nu renamed")
        # With the stopped follower's lines piling up, the tick still comes every second.
        times = {json.loads(follower.wait(f"time line {i}", lambda line: True))["time"]
                 for i in range(5)}
        check(len(times) >= 4, f"five ticks gave the times {sorted(times)}")
        remote_ok(app, "--status")
        app.terminate()
        app.wait_exit()
        follower.wait("the idle state at exit", lambda line: line == idle)
        check(follower.proc.poll() is None, "the follower ended with the program")
        app.start()
        select_and_run(app, to_row(1, 0), "Nu renamed")
        follower.wait("the task in the new copy", lambda line: json.loads(line)["caption"] == "Nu renamed")
        stuck.signal(signal.SIGCONT)
        stuck.wait("the newest state after the stop", lambda line: b"Nu renamed" in line)
    finally:
        follower.stop()
        if stuck:
            stuck.stop()


def withdrawn(session, wid):
    return wid not in session.client_list() and not session.is_mapped(wid)


def iconify_button(session, wid):
    """Centre of openbox's minimize button: the leftmost of the square buttons at the right end
    of the title bar (minimize, maximize, close)."""
    frame = session.run(["xwininfo", "-children", "-id", str(wid)]).split("Parent window id: ")[1]
    width = session.run(["xwininfo", "-id", str(wid)]).split("Width:", 1)[1].split()[0]
    middle = frame_origin(session, wid)[0] + int(width) // 2
    frame = frame.split()[0]
    tree = session.run(["xwininfo", "-tree", "-id", frame])
    squares = [(int(x) + int(size) // 2, int(y) + int(size) // 2)
               for size, x, y in re.findall(r" (\d+)x\1\+\d+\+\d+ +\+(\d+)\+(\d+)", tree)
               if 8 <= int(size) <= 16 and int(x) > middle]
    check(len(squares) >= 3, f"no minimize button in the title bar of window {wid}")
    return min(squares)


def painted(session, wid, path):
    """The window shows more than a black, unpainted rectangle."""
    session.screenshot(path, wid)
    mean = session.run(["convert", path, "-format", "%[fx:mean]", "info:"], check=False)
    return mean.replace(".", "", 1).isdigit() and float(mean) > 0.2


@scenario
def minimize_hides(session, app, artifacts):
    """Minimizing, by the title-bar button or by a client's request, withdraws the window: no
    taskbar entry, not viewable, no keys; the hot key or a tray double click brings it back
    painted and focused. Ten rounds, alternating the ways."""
    app.suppress_hide_tip()
    app.write_tasks([("Kappa", 0)])
    app.start()
    select_and_run(app, to_row(1, 0), "Kappa")
    titles = ["Kappa - Tallyvox", IDLE_TITLE]
    shot = os.path.join(app.folder, "window.png")
    for round_ in range(10):
        window = app.main_window()
        app.focus()
        if round_ % 2:
            session.xdotool("windowminimize", str(window))
        else:
            x, y = iconify_button(session, window)
            session.xdotool("mousemove", str(x), str(y), "click", "1")
        wait_for(f"round {round_}: the minimized window withdrawn",
                 lambda: withdrawn(session, window))
        # Keys typed now reach no window of the program; the pause hot key still works, and
        # once its title change shows, the program has handled everything before it.
        session.key("Insert", "alt+shift+space")
        app.wait_title(titles[(round_ + 1) % 2])
        check(withdrawn(session, window),
              f"round {round_}: the minimized window came back: mapped {session.is_mapped(window)}, "
              f"managed {window in session.client_list()}")
        check(not app.dialogs("New task"), f"round {round_}: a hidden window took Insert")
        if round_ % 2:
            app.click_tray(count=2)
        else:
            session.key("ctrl+shift+space")
        app.wait_mapped(True)
        wait_for(f"round {round_}: the shown window in front",
                 lambda: session.active_window() == window)
        wait_for(f"round {round_}: the shown window painted",
                 lambda: painted(session, window, shot))
        check(window in session.client_list(), f"round {round_}: the shown window is not managed")


def tooltips(app):
    """Widths of the program's mapped override-redirect windows besides its tray icon."""
    infos = [app.session.run(["xwininfo", "-id", str(w)], check=False)
             for w in app.session.pid_windows(app.proc.pid) if w != app.tray_icon()]
    return [int(i.split("Width:", 1)[1].split()[0]) for i in infos
            if "IsViewable" in i and "Override Redirect State: yes" in i]


def tray_tip_width(app):
    """Hovers over the tray icon and returns the width of the tip that comes up."""
    app.session.xdotool("mousemove", "--window", str(app.tray_icon()), "8", "8")
    width = wait_for("the tray tip", lambda: tooltips(app))[0]
    app.session.xdotool("mousemove", "600", "600")
    wait_for("the tray tip to go", lambda: not tooltips(app))
    return width


@scenario
def tray_tip_literal(session, app, artifacts):
    """The tray tip shows a caption with tags and an ampersand as typed, as the title does."""
    app.suppress_hide_tip()
    marked, plain = "<b>x</b> & y", "x & y"
    app.write_tasks([(marked, 0), (plain, 0)])
    app.start()
    select_and_run(app, to_row(2, 1), plain)
    plain_width = tray_tip_width(app)
    select_and_run(app, to_row(2, 0), marked)
    marked_width = tray_tip_width(app)
    # Shown literally, "<b></b>" adds some 40 pixels of text; taken for markup it adds none.
    check(marked_width >= plain_width + 25,
          f"the tip of {marked!r} is {marked_width} pixels wide, that of {plain!r} "
          f"{plain_width}: the tags were taken for markup")


def without_tray(func):
    """The scenario runs on a desktop without a tray host."""
    func.tray = False
    return func


@scenario
@without_tray
def no_tray_keeps_window(session, app, artifacts):
    """Without a tray host, closing and minimizing leave the window on the taskbar, from where
    it comes back, and no tip points at an icon; once a tray appears, closing hides again."""
    check(session.tray_panel() is None, "the session has a tray host")
    app.start()
    window = app.main_window()

    def on_taskbar():
        return (window in session.client_list() and session.wm_state(window) == "Iconic"
                and not session.is_mapped(window))
    session.run(["wmctrl", "-i", "-c", hex(window)])
    wait_for("the closed window minimized on the taskbar", on_taskbar)
    settle(1.0)
    check(not app.dialogs("Tallyvox"), "the hide tip came up without a tray icon")
    check(app.alive() and on_taskbar(), "the closed window left the taskbar")
    session.run(["wmctrl", "-i", "-a", hex(window)])  # what a click on the taskbar entry does
    wait_for("the window back from the taskbar", lambda: session.is_managed(window))
    session.xdotool("windowminimize", str(window))
    wait_for("the minimized window on the taskbar", on_taskbar)
    settle(1.0)
    check(on_taskbar(), "the minimized window left the taskbar")
    remote_ok(app, "--show")
    wait_for("the window shown by --show", lambda: session.is_managed(window))
    # A tray appears: closing hides the window to its icon again, with the tip.
    session.start_tray()
    app.tray_icon()
    session.run(["wmctrl", "-i", "-c", hex(window)])
    app.wait_dialog("Tallyvox")
    wait_for("the closed window withdrawn", lambda: window not in session.client_list()
             and not session.is_mapped(window))


@scenario
def tray_buttons(session, app, artifacts):
    """A single middle click does nothing; double clicks of the right and middle buttons toggle
    the window; two single clicks too far apart for a double click pause once."""
    app.suppress_hide_tip()
    app.write_tasks([("Lambda", 0)])
    app.start()
    select_and_run(app, to_row(1, 0), "Lambda")
    icon = str(app.tray_icon())
    session.xdotool("mousemove", "--window", icon, "8", "8", "click", "2")
    # The pause hot key comes after the click: once the title shows it, the click was handled.
    session.key("alt+shift+space")
    app.wait_title(IDLE_TITLE)
    check(app.mapped(), "a single middle click on the tray icon hid the window")
    session.key("alt+shift+space")
    app.wait_title("Lambda - Tallyvox")
    for button, name in (("3", "right"), ("2", "middle")):
        for shown in (False, True):
            session.xdotool("mousemove", "--window", icon, "8", "8",
                            "click", "--repeat", "2", "--delay", "90", button)
            try:
                app.wait_mapped(shown, timeout=5)
            except Failed:
                raise Failed(f"a {name} double click did not {'show' if shown else 'hide'} "
                             f"the window") from None
    check(app.title() == "Lambda - Tallyvox", f"double clicks changed tracking: {app.title()!r}")
    session.xdotool("mousemove", "--window", icon, "2", "2", "click", "1",
                    "mousemove", "--window", icon, "20", "20", "click", "1")
    app.wait_title(IDLE_TITLE)
    check(app.mapped(), "two single clicks far apart were taken for a double click")


def work_area(session):
    """The window manager's work area of the first desktop: x, y, width, height."""
    out = session.run(["xprop", "-root", "_NET_WORKAREA"])
    return tuple(int(v) for v in out.split("=", 1)[1].replace(",", " ").split()[:4])


def frame_origin(session, wid):
    """Screen position of the window's frame (its title bar and borders included)."""
    info = session.run(["xwininfo", "-id", str(wid)])
    x, y = (int(info.split(f"Absolute upper-left {k}:", 1)[1].split()[0]) for k in "XY")
    extents = session.run(["xprop", "-id", str(wid), "_NET_FRAME_EXTENTS"], check=False)
    left = top = 0
    if "=" in extents:
        left, _, top, _ = (int(v) for v in extents.split("=", 1)[1].split(","))
    return x - left, y - top


@scenario
def edge_snap(session, app, artifacts):
    """A window dragged by its title bar to within 7 pixels of the work area's left and top
    edges stays where the drag holds it, and ends at the edges when the button is released."""
    app.suppress_hide_tip()
    app.start()
    window = app.main_window()
    app.focus()
    area_x, area_y, _, _ = work_area(session)
    start_x, start_y = frame_origin(session, window)
    grab_x, grab_y = start_x + 200, start_y + 10  # in the title bar
    target = (area_x + 5, area_y + 6)
    session.xdotool("mousemove", str(grab_x), str(grab_y), "mousedown", "1")
    steps = 8
    for i in range(1, steps + 1):
        session.xdotool("mousemove", str(grab_x + (target[0] - start_x) * i // steps),
                        str(grab_y + (target[1] - start_y) * i // steps))
    wait_for("the dragged window near the corner",
             lambda: frame_origin(session, window) == target)
    settle(0.6)
    held = frame_origin(session, window)
    session.xdotool("mouseup", "1")
    check(held == target, f"the window moved to {held} while the drag held it at {target}")
    try:
        wait_for("the window at the work area's corner",
                 lambda: frame_origin(session, window) == (area_x, area_y), timeout=5)
    except Failed:
        raise Failed(f"released {target[0] - area_x}, {target[1] - area_y} pixels from the work "
                     f"area's corner, the window ends at {frame_origin(session, window)}, not at "
                     f"{(area_x, area_y)}") from None


def accessible_root(session):
    """pyatspi and the program's node on the session's AT-SPI bus, as a screen reader sees it."""
    os.environ.update({k: session.env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")})
    import pyatspi
    return pyatspi, wait_for("the program on the AT-SPI bus", lambda: next(
        (a for a in pyatspi.Registry.getDesktop(0) if a and a.name == "Tallyvox"), None))


def find_accessible(node, predicate, depth=0):
    found = [node] if predicate(node) else []
    for child in (node if depth < 12 else []):
        found += find_accessible(child, predicate, depth + 1) if child else []
    return found


@scenario
def keyboard_menu(session, app, artifacts):
    """Shift+F10 opens the list's context menu at the current row. A screen reader reads the
    list as "Tasks", menu items by their captions with the shortcut as key binding, and the
    period field by its name and shown text. The window with the menu open is the README's picture."""
    session.env.update({"QT_ACCESSIBILITY": "1", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"})
    app.suppress_hide_tip()
    app.write_tasks([("Write the report", 3723000), ("Review the plan", 61000)])
    app.start()
    select_and_run(app, to_row(2, 0), "Write the report")
    atspi, root = accessible_root(session)
    lists = find_accessible(root, lambda n: n.name == "Tasks")
    check(len(lists) == 1, f"no single accessible named Tasks: {[n.name for n in lists]}")

    def open_menu_at(row):
        # A popup menu is no child of the program's node: a reader learns of it by its event.
        from gi.repository import GLib
        menus = []
        def shown(event):
            if event.source.getRole() == atspi.ROLE_POPUP_MENU and event.detail1:
                menus.append(event.source)
                atspi.Registry.stop()
        atspi.Registry.registerEventListener(shown, "object:state-changed:showing")
        GLib.timeout_add(50, lambda: session.key(*to_row(2, row), "shift+F10") and False)
        GLib.timeout_add(10000, lambda: atspi.Registry.stop() and False)
        atspi.Registry.start()
        atspi.Registry.deregisterEventListener(shown, "object:state-changed:showing")
        check(menus, f"Shift+F10 on row {row} opened no menu")
        return menus[0], menus[0].queryComponent().getExtents(atspi.DESKTOP_COORDS)
    _, first = open_menu_at(0)
    session.key("Escape")
    menu, second = open_menu_at(1)
    check(second.y > first.y, f"the menu opened at y {second.y} on the second row, {first.y} "
                              "on the first: not at the current row")
    items = {i.name: i.queryAction().getKeyBinding(0) for i in menu
             if i.getRole() == atspi.ROLE_MENU_ITEM and i.queryAction().nActions}
    check(items.get("New task") == "Ins" and items.get("Exit") == "Alt+X"
          and not any("\t" in name for name in items), f"menu items read as {items!r}")
    os.makedirs(artifacts, exist_ok=True)
    whole = os.path.join(artifacts, "screenshot-root.png")
    if session.screenshot(whole):
        info = session.run(["xwininfo", "-id", str(app.main_window())])
        x, y, w, h = (int(re.search(k + r": +(-?\d+)", info).group(1)) for k in (
            "Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
        right, bottom = max(second.x + second.width, x + w), max(second.y + second.height, y + h)
        x, y = x - 8, y - 30  # the frame and title bar
        session.run(["convert", whole, "-crop", f"{right - x + 8}x{bottom - y + 8}+{x}+{y}",
                     "+repage", os.path.join(artifacts, "screenshot.png")], check=False)
        os.remove(whole)
    # Settings from the keyboard alone: up from the bottom past Exit, Hide and Pause.
    session.key("Up", "Up", "Up", "Up", "Return")
    app.wait_focused_dialog("Settings")
    fields = find_accessible(root, lambda n: n.getRole() == atspi.ROLE_TEXT)
    read = [(f.name, f.queryText().getText(0, -1)) for f in fields]
    check(read == [("Inactivity period", "00:10:00")], f"the period field reads as {read!r}")
    session.key("Escape")


def make_app(session, binary, root):
    return TallyvoxApp(session, binary, root)
