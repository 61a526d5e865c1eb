#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Stand-ins for the desktop's D-Bus services, for tests on private buses.

On the session bus: a notification server (org.freedesktop.Notifications) and a
StatusNotifierWatcher (org.kde.StatusNotifierWatcher) with a host. On the system bus: a
logind-like org.freedesktop.login1 whose Manager emits PrepareForSleep when the test calls
org.quillbore.Test.EmitPrepareForSleep(b), and a NetworkManager whose State the test sets
with org.quillbore.Test.SetState(u) and whose primary connection it changes with
org.quillbore.Test.SwitchConnection(). The watcher's name goes and comes back with
org.quillbore.Test.Stop() and Start() on /StatusNotifierWatcher. Every call received is
appended, as one JSON object per line, to the file named by FAKE_DESKTOP_LOG. Runs until
SIGTERM.

    fake_desktop_services.py   (with DBUS_SESSION_BUS_ADDRESS and DBUS_SYSTEM_BUS_ADDRESS set)
"""
import json
import os
import signal
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

LOG = os.environ["FAKE_DESKTOP_LOG"]


def record(**event):
    with open(LOG, "a") as f:
        f.write(json.dumps(event) + "\n")


class Notifications(dbus.service.Object):
    IFACE = "org.freedesktop.Notifications"

    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.next_id = 0

    @dbus.service.method(IFACE, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, timeout):
        if replaces_id:
            nid = int(replaces_id)
        else:
            self.next_id += 1
            nid = self.next_id
        record(call="Notify", app_name=str(app_name), replaces_id=int(replaces_id),
               summary=str(summary), body=str(body), id=nid)
        return dbus.UInt32(nid)

    @dbus.service.method(IFACE, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(IFACE, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("fake-notifications", "quillbore-tests", "1", "1.2")

    @dbus.service.method(IFACE, in_signature="u", out_signature="")
    def CloseNotification(self, nid):
        pass


class Watcher(dbus.service.Object):
    IFACE = "org.kde.StatusNotifierWatcher"

    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.bus = bus
        self.items = []
        self.name = dbus.service.BusName(self.IFACE, bus)

    # A tray host that goes away and comes back (a panel restarting, or one that starts after
    # the application): the name is released and taken again, with no item registered.
    @dbus.service.method("org.quillbore.Test", in_signature="", out_signature="")
    def Stop(self):
        record(call="StopWatcher")
        self.items = []
        self.name = None  # releases it

    @dbus.service.method("org.quillbore.Test", in_signature="", out_signature="")
    def Start(self):
        record(call="StartWatcher")
        if self.name is None:
            self.name = dbus.service.BusName(self.IFACE, self.bus)

    @dbus.service.method(IFACE, in_signature="s", out_signature="", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # A service name, or an object path on the sender's connection.
        item = str(service) if not str(service).startswith("/") else str(sender) + str(service)
        self.items.append(item)
        record(call="RegisterStatusNotifierItem", service=str(service), sender=str(sender))
        self.StatusNotifierItemRegistered(item)

    @dbus.service.method(IFACE, in_signature="s", out_signature="")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(IFACE, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.signal(IFACE, signature="")
    def StatusNotifierHostRegistered(self):
        pass

    def props(self):
        return {"RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
                "IsStatusNotifierHostRegistered": dbus.Boolean(True),
                "ProtocolVersion": dbus.Int32(0)}

    # Qt reads the properties through an interface built from the introspection data, which
    # must therefore list them.
    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, in_signature="", out_signature="s",
                         path_keyword="object_path", connection_keyword="connection")
    def Introspect(self, object_path, connection):
        xml = super().Introspect(object_path, connection)
        props = ('<property name="RegisteredStatusNotifierItems" type="as" access="read"/>'
                 '<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>'
                 '<property name="ProtocolVersion" type="i" access="read"/>')
        marker = '<interface name="%s">' % self.IFACE
        return xml.replace(marker, marker + props)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.props()[str(name)]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.props()


class Login(dbus.service.Object):
    IFACE = "org.freedesktop.login1.Manager"

    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/login1")

    @dbus.service.signal(IFACE, signature="b")
    def PrepareForSleep(self, start):
        pass

    @dbus.service.method("org.quillbore.Test", in_signature="b", out_signature="")
    def EmitPrepareForSleep(self, start):
        record(call="PrepareForSleep", start=bool(start))
        self.PrepareForSleep(start)


class NetworkManager(dbus.service.Object):
    """What the application reads: State and PrimaryConnection, with PropertiesChanged and
    StateChanged. Like the real one, it has no primary connection without a default route
    (state below 60) and makes a new one each time it connects again."""
    IFACE = "org.freedesktop.NetworkManager"
    CONNECTED_SITE = 60
    CONNECTED_GLOBAL = 70

    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/NetworkManager")
        self.state = self.CONNECTED_GLOBAL
        self.connections = 1
        self.primary = self.connection_path()

    def connection_path(self):
        return "/org/freedesktop/NetworkManager/ActiveConnection/%d" % self.connections

    def props(self):
        return {"State": dbus.UInt32(self.state), "Connectivity": dbus.UInt32(4),
                "PrimaryConnection": dbus.ObjectPath(self.primary)}

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.props()[str(name)]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.props()

    @dbus.service.signal(dbus.PROPERTIES_IFACE, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.signal(IFACE, signature="u")
    def StateChanged(self, state):
        pass

    @dbus.service.method("org.quillbore.Test", in_signature="u", out_signature="")
    def SetState(self, state):
        self.state = int(state)
        changed = {"State": dbus.UInt32(self.state)}
        if self.state < self.CONNECTED_SITE and self.primary != "/":
            self.primary = "/"
            changed["PrimaryConnection"] = dbus.ObjectPath(self.primary)
        elif self.state >= self.CONNECTED_SITE and self.primary == "/":
            self.connections += 1
            self.primary = self.connection_path()
            changed["PrimaryConnection"] = dbus.ObjectPath(self.primary)
        record(call="SetNetworkState", state=self.state, primary=self.primary)
        self.PropertiesChanged(self.IFACE, changed, [])
        self.StateChanged(dbus.UInt32(self.state))

    @dbus.service.method("org.quillbore.Test", in_signature="", out_signature="")
    def SwitchConnection(self):
        """Another connection becomes the primary one (cable plugged in beside the wifi)."""
        self.connections += 1
        self.primary = self.connection_path()
        record(call="SwitchConnection", primary=self.primary)
        self.PropertiesChanged(self.IFACE, {"PrimaryConnection": dbus.ObjectPath(self.primary)},
                               [])


def main():
    DBusGMainLoop(set_as_default=True)
    session = dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"])
    system = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"])
    keep = [Notifications(session), Watcher(session), Login(system), NetworkManager(system)]
    names = [dbus.service.BusName("org.freedesktop.Notifications", session),
             dbus.service.BusName("org.freedesktop.login1", system),
             dbus.service.BusName("org.freedesktop.NetworkManager", system)]
    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    record(call="ready")
    loop.run()
    sys.stdout.flush()
    os._exit(0)  # no name releases on buses that may be gone already


if __name__ == "__main__":
    sys.exit(main())
