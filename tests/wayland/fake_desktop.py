# SPDX-License-Identifier: MIT
"""Desktop services the program talks to over D-Bus, faked on a private session bus: the
GlobalShortcuts portal and a StatusNotifierWatcher with a host. They run on a GLib loop in a
thread of their own; the test's thread reads what they recorded and asks them to emit."""

import threading

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PORTAL = "org.freedesktop.portal.Desktop"
PORTAL_PATH = "/org/freedesktop/portal/desktop"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
REQUEST = "org.freedesktop.portal.Request"
SESSION = "org.freedesktop.portal.Session"
WATCHER = "org.kde.StatusNotifierWatcher"
SCREENSAVER = "org.freedesktop.ScreenSaver"
PROPERTIES = "org.freedesktop.DBus.Properties"


def sender_path(sender):
    return sender[1:].replace(".", "_")


class Request(dbus.service.Object):
    @dbus.service.signal(REQUEST, signature="ua{sv}")
    def Response(self, response, results):
        pass


class Session(dbus.service.Object):
    def __init__(self, bus, path, portal):
        super().__init__(bus, path)
        self.portal = portal

    @dbus.service.method(SESSION)
    def Close(self):
        self.portal.closed.append(self.__dbus_object_path__)
        self.remove_from_connection()


class Portal(dbus.service.Object):
    """CreateSession, ListShortcuts and BindShortcuts answer through Request.Response, as the
    portal does. In mode "kde527" only CreateSession's option "shortcuts" binds and
    BindShortcuts' list is ignored, as on KDE Plasma 5.27; otherwise BindShortcuts binds."""

    def __init__(self, bus, mode="documented"):
        super().__init__(bus, PORTAL_PATH)
        self.bus = bus
        self.mode = mode
        self.sessions = []
        self.bound = []  # (session path, [(id, {property: value})]) per binding that took effect
        self.bind_calls = 0
        self.closed = []

    def _respond(self, sender, options, results):
        path = f"{PORTAL_PATH}/request/{sender_path(sender)}/{options['handle_token']}"
        request = Request(self.bus, path)

        def answer():
            request.Response(dbus.UInt32(0), dbus.Dictionary(results, signature="sv"))
            request.remove_from_connection()
        GLib.idle_add(answer)
        return dbus.ObjectPath(path)

    def _bind(self, session, shortcuts):
        self.bound.append((str(session), [(str(i), {str(k): str(v) for k, v in p.items()})
                                          for i, p in shortcuts]))

    def _held(self):
        return dbus.Array(self.bound[-1][1] if self.bound else [], signature="(sa{sv})")

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        path = f"{PORTAL_PATH}/session/{sender_path(sender)}/{options['session_handle_token']}"
        Session(self.bus, path, self)
        self.sessions.append(path)
        if self.mode == "kde527" and "shortcuts" in options:
            self._bind(path, options["shortcuts"])
        return self._respond(sender, options, {"session_handle": dbus.ObjectPath(path)})

    @dbus.service.method(SHORTCUTS, in_signature="oa{sv}", out_signature="o", sender_keyword="sender")
    def ListShortcuts(self, session, options, sender=None):
        return self._respond(sender, options, {"shortcuts": self._held()})

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent_window, options, sender=None):
        self.bind_calls += 1
        if self.mode != "kde527":
            self._bind(session, shortcuts)
        return self._respond(sender, options, {"shortcuts": self._held()})

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, shortcut_id, timestamp, options):
        pass


class ScreenSaver(dbus.service.Object):
    """The desktop's idle monitor: the user is never idle; counts the questions."""

    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/ScreenSaver")
        self.questions = 0

    @dbus.service.method(SCREENSAVER, out_signature="u")
    def GetSessionIdleTime(self):
        self.questions += 1
        return dbus.UInt32(0)


class Watcher(dbus.service.Object):
    """A StatusNotifierWatcher that reports a host, so Qt registers its item."""

    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.items = []

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # An item names its bus name, or only its object path on the caller's connection.
        self.items.append((sender, service) if service.startswith("/") else (service, "/StatusNotifierItem"))
        self.StatusNotifierItemRegistered(service)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    def _properties(self):
        return {"RegisteredStatusNotifierItems": dbus.Array([s for s, _ in self.items], signature="s"),
                "IsStatusNotifierHostRegistered": True, "ProtocolVersion": dbus.Int32(0)}

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self._properties()[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self._properties()

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    # Qt reads IsStatusNotifierHostRegistered through an introspected interface: the
    # properties must be declared.
    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s")
    def Introspect(self):
        return f"""<node><interface name="{WATCHER}">
  <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
</interface><interface name="{PROPERTIES}">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{{sv}}" direction="out"/></method>
</interface></node>"""


class FakeDesktop:
    """Owns the names on the bus at address; portal and watcher are optional."""

    def __init__(self, address, portal=True, watcher=True, mode="documented"):
        self.loop = GLib.MainLoop()
        self.bus = dbus.bus.BusConnection(address, mainloop=DBusGMainLoop())
        self.portal = Portal(self.bus, mode) if portal else None
        self.watcher = Watcher(self.bus) if watcher else None
        self.names = []
        for name in [PORTAL] * portal + [WATCHER] * watcher:
            self.own(name)
        self.thread = threading.Thread(target=self.loop.run, daemon=True)
        self.thread.start()

    def own(self, name):
        """Takes name; another owner (a real service) would answer in the fake's place."""
        if self.bus.request_name(name, dbus.bus.NAME_FLAG_DO_NOT_QUEUE) != dbus.bus.REQUEST_NAME_REPLY_PRIMARY_OWNER:
            raise RuntimeError(f"the fake {name} could not own its name")
        self.names.append(name)

    def in_loop(self, func, *args):
        """Runs func on the services' loop (D-Bus objects are not thread-safe)."""
        GLib.idle_add(lambda: func(*args) and False)

    def activate(self, shortcut_id, session=None, count=1):
        """Emits Activated count times, for the program's session unless session is given."""
        session = dbus.ObjectPath(session or self.portal.sessions[-1])
        for _ in range(count):
            self.in_loop(self.portal.Activated, session, shortcut_id, dbus.UInt64(0), {})

    def serve_idle(self):
        self.screensaver = ScreenSaver(self.bus)
        self.in_loop(self.own, SCREENSAVER)
        return self.screensaver

    def stop(self):
        self.loop.quit()
        self.thread.join(timeout=5)
        for name in self.names:
            self.bus.release_name(name)
        self.bus.close()
