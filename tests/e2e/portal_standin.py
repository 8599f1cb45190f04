#!/usr/bin/python3
# The desktop's GlobalShortcuts portal on the session bus, for the portal key test:
# org.freedesktop.portal.Desktop at /org/freedesktop/portal/desktop with the version property,
# CreateSession and BindShortcuts answered as a portal answers, through a Request object at the
# path made of the caller's bus name and handle_token, whose Response signal follows the reply.
# Each bind is printed ("bind <id> <preferred_trigger>"). The test presses the shortcut with
# Press() (org.kestrane.test.Portal), which sends Activated and Deactivated for the session.
#
#   portal_standin.py bind|refuse|other|silent
#   (other: bound to Ctrl+Alt+J, not the trigger asked; silent: no Response to CreateSession)
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PORTAL = "org.freedesktop.portal.GlobalShortcuts"
PATH = "/org/freedesktop/portal/desktop"
mode = sys.argv[1]


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, response, results):
        pass


class Session(dbus.service.Object):
    @dbus.service.method("org.freedesktop.portal.Session")
    def Close(self):
        print("closed", flush=True)
        self.remove_from_connection()


class Portal(dbus.service.Object):
    session = None
    shortcut = None

    def request(self, sender, options, response, results):
        path = "%s/request/%s/%s" % (PATH, sender[1:].replace(".", "_"), options["handle_token"])
        req = Request(self.connection, path)

        def answer():
            req.Response(dbus.UInt32(response), dbus.Dictionary(results, signature="sv"))
            req.remove_from_connection()
        if response is not None:
            GLib.idle_add(answer)
        return dbus.ObjectPath(path)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface != PORTAL or name != "version":
            raise dbus.exceptions.DBusException(
                "no such property", name="org.freedesktop.DBus.Error.UnknownProperty")
        return dbus.UInt32(1)

    @dbus.service.method(PORTAL, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender):
        self.session = "%s/session/%s/%s" % (PATH, sender[1:].replace(".", "_"),
                                             options["session_handle_token"])
        Session(self.connection, self.session)
        return self.request(sender, options, None if mode == "silent" else 0,
                            {"session_handle": self.session})

    @dbus.service.method(PORTAL, in_signature="oa(sa{sv})sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent, options, sender):
        for sid, info in shortcuts:
            print("bind", sid, info.get("preferred_trigger", ""), flush=True)
        if mode == "refuse" or str(session) != self.session:
            return self.request(sender, options, 2, {})
        self.shortcut = str(shortcuts[0][0])
        trigger = "Ctrl+Alt+J" if mode == "other" else shortcuts[0][1].get("preferred_trigger")
        bound = dbus.Array([(self.shortcut, {"description": shortcuts[0][1]["description"],
                                             "trigger_description": trigger})],
                           signature="(sa{sv})")
        return self.request(sender, options, 0, {"shortcuts": bound})

    @dbus.service.signal(PORTAL, signature="osta{sv}")
    def Activated(self, session, shortcut, timestamp, options):
        pass

    @dbus.service.signal(PORTAL, signature="osta{sv}")
    def Deactivated(self, session, shortcut, timestamp, options):
        pass

    @dbus.service.method("org.kestrane.test.Portal")
    def Press(self):
        if self.session is None or self.shortcut is None:
            raise dbus.exceptions.DBusException("nothing bound")
        now = dbus.UInt64(int(GLib.get_monotonic_time() / 1000))
        self.Activated(dbus.ObjectPath(self.session), self.shortcut, now, {})
        self.Deactivated(dbus.ObjectPath(self.session), self.shortcut, now, {})


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)
Portal(bus, PATH)
print("ready", flush=True)
GLib.MainLoop().run()
