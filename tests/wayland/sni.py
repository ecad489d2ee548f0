# SPDX-License-Identifier: MIT
"""The tray icon as a StatusNotifierItem, read and clicked the way a host does over D-Bus."""

import dbus

from app import IDLE_TITLE, TallyvoxApp, settle
from fake_desktop import FakeDesktop
from scenarios import add_task, check, select_and_run
from xsession import Skipped, wait_for

SCENARIOS = {}
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"


def scenario(func):
    SCENARIOS[func.__name__] = func
    return func


class Item:
    """The program's item, from the test's own (blocking) connection to the bus."""

    def __init__(self, address, service, path):
        self.bus = dbus.bus.BusConnection(address)
        self.obj = self.bus.get_object(service, path, introspect=False)
        self.service = service

    def props(self):
        return self.obj.GetAll(ITEM, dbus_interface=dbus.PROPERTIES_IFACE, timeout=5)

    def tooltip(self):
        return str(self.props()["ToolTip"][2])

    def icon(self):
        return bytes(b for _, _, data in self.props()["IconPixmap"] for b in data)

    def activate(self):
        self.obj.Activate(dbus.Int32(8), dbus.Int32(8), dbus_interface=ITEM, timeout=5)

    def menu(self):
        """(caption, enabled) of the visible entries, as a host shows them after AboutToShow; a
        shortcut text after a tab in the label is left out."""
        menu = self.bus.get_object(self.service, self.props()["Menu"], introspect=False)
        menu.AboutToShow(dbus.Int32(0), dbus_interface=MENU, timeout=5)
        _, (_, _, children) = menu.GetLayout(dbus.Int32(0), dbus.Int32(-1), dbus.Array([], signature="s"),
                                            dbus_interface=MENU, timeout=5)
        entries = []
        for _, props, _ in children:
            if props.get("type", "standard") != "separator" and props.get("visible", True):
                caption = str(props.get("label", "")).split("\t")[0]
                entries.append((caption, bool(props.get("enabled", True))))
        return entries


@scenario
def sni_tray(session, binary, root):
    """Tip and image follow the active task; Activate is the single click, two in a row the
    double click; the menu has the tray menu's four entries."""
    address = session.env.get("DBUS_SESSION_BUS_ADDRESS", "disabled:")
    if address == "disabled:":
        raise Skipped("dbus-daemon is not installed")
    desktop = FakeDesktop(address, portal=False, watcher=True)
    try:
        app = TallyvoxApp(session, binary, root)
        app.suppress_hide_tip()
        session.procs.append(("tallyvox", app.start()))
        service, path = wait_for("the item registered with the watcher", lambda: desktop.watcher.items)[0]
        item = Item(address, service, path)
        wait_for("the idle tip", lambda: item.tooltip() == IDLE_TITLE)
        idle_icon = item.icon()
        check(idle_icon, "the item has no icon")
        check(item.props()["Title"] == "Tallyvox", f"the item's title is {item.props()['Title']!r}")

        # The tip title is plain text: the caption's tags and ampersand arrive as typed.
        caption = "Alpha <b>&</b>"
        add_task(app, caption)
        select_and_run(app, ["Home"], caption)
        wait_for("the active task's tip", lambda: item.tooltip() == f"{caption} - Tallyvox")
        active_icon = item.icon()
        check(active_icon != idle_icon, "the icon did not change to the active image")
        check(item.menu() == [("Pause", True), ("Hide", True), ("Settings", True), ("Exit", True)],
              f"the menu while tracking: {item.menu()!r}")

        item.activate()  # the single click: pause after the double-click time
        app.wait_title(IDLE_TITLE)
        wait_for("the idle tip after the click", lambda: item.tooltip() == IDLE_TITLE)
        check(item.icon() == idle_icon, "the icon did not return to the idle image")

        item.activate()  # two activations in a row: the double click hides, tracking unchanged
        item.activate()
        app.wait_mapped(False)
        check(item.menu() == [("Resume", True), ("Show", True), ("Settings", True), ("Exit", True)],
              f"the menu while paused and hidden: {item.menu()!r}")
        settle(1.0)  # past the double-click time: no single click may follow
        check(app.title() == IDLE_TITLE, f"the double click changed tracking: {app.title()!r}")
        app.terminate()
        check(app.wait_exit() == 0, "the program did not end cleanly on SIGTERM")
    finally:
        desktop.stop()
