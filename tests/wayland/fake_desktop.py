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
    """CreateSession and BindShortcuts answer through Request.Response, as the portal does."""

    def __init__(self, bus):
        super().__init__(bus, PORTAL_PATH)
        self.bus = bus
        self.sessions = []
        self.bound = []  # (session path, [(id, {property: value})]) per BindShortcuts
        self.closed = []

    def _respond(self, sender, options, results):
        path = f"{PORTAL_PATH}/request/{sender_path(sender)}/{options['handle_token']}"
        request = Request(self.bus, path)

        def answer():
            request.Response(dbus.UInt32(0), dbus.Dictionary(results, signature="sv"))
            request.remove_from_connection()
        GLib.idle_add(answer)
        return dbus.ObjectPath(path)

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        path = f"{PORTAL_PATH}/session/{sender_path(sender)}/{options['session_handle_token']}"
        Session(self.bus, path, self)
        self.sessions.append(path)
        return self._respond(sender, options, {"session_handle": dbus.ObjectPath(path)})

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent_window, options, sender=None):
        plain = [(str(i), {str(k): str(v) for k, v in props.items()}) for i, props in shortcuts]
        self.bound.append((str(session), plain))
        return self._respond(sender, options, {"shortcuts": shortcuts})

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, shortcut_id, timestamp, options):
        pass


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

    def __init__(self, address, portal=True, watcher=True):
        self.loop = GLib.MainLoop()
        self.bus = dbus.bus.BusConnection(address, mainloop=DBusGMainLoop())
        self.portal = Portal(self.bus) if portal else None
        self.watcher = Watcher(self.bus) if watcher else None
        self.names = [PORTAL] * portal + [WATCHER] * watcher
        for name in self.names:
            self.bus.request_name(name, dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
        self.thread = threading.Thread(target=self.loop.run, daemon=True)
        self.thread.start()

    def in_loop(self, func, *args):
        """Runs func on the services' loop (D-Bus objects are not thread-safe)."""
        GLib.idle_add(lambda: func(*args) and False)

    def activate(self, shortcut_id):
        session = self.portal.sessions[-1]
        self.in_loop(self.portal.Activated, dbus.ObjectPath(session), shortcut_id, dbus.UInt64(0),
                     dbus.Dictionary({}, signature="sv"))

    def stop(self):
        self.loop.quit()
        self.thread.join(timeout=5)
        for name in self.names:
            self.bus.release_name(name)
        self.bus.close()
