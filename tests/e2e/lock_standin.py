#!/usr/bin/python3
# A desktop's lock reporting on a private bus, for the lock-screen test: either logind's
# session (org.freedesktop.login1 on the bus of DBUS_SYSTEM_BUS_ADDRESS) or the desktop's
# screen saver (org.freedesktop.ScreenSaver on the session bus). The test locks and unlocks
# through the same methods the real services have:
#
#   logind       Session.SetLockedHint(b): LockedHint, announced by PropertiesChanged;
#                Session.Lock(), Session.Unlock(): the Lock and Unlock signals
#   screensaver  SetActive(b): GetActive and the ActiveChanged signal
#   notifications  the desktop's notification service (org.freedesktop.Notifications) with
#                its Do Not Disturb: SetInhibited(b): the property Inhibited, announced by
#                PropertiesChanged
#
#   session      GNOME's session manager (org.gnome.SessionManager): SetInhibitedActions(u):
#                the property InhibitedActions, announced by PropertiesChanged
#
#   lock_standin.py logind|screensaver|notifications|session
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

LOGIN = "org.freedesktop.login1"
SESSION = LOGIN + ".Session"
SESSION_PATH = "/org/freedesktop/login1/session/_31"
PROPS = "org.freedesktop.DBus.Properties"
SAVER = "org.freedesktop.ScreenSaver"


class Manager(dbus.service.Object):
    @dbus.service.method(LOGIN + ".Manager", in_signature="s", out_signature="o")
    def GetSession(self, session_id):
        return dbus.ObjectPath(SESSION_PATH)


class Session(dbus.service.Object):
    locked = False

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface != SESSION or name != "LockedHint":
            raise dbus.exceptions.DBusException("no such property",
                                                name="org.freedesktop.DBus.Error.UnknownProperty")
        return dbus.Boolean(self.locked)

    @dbus.service.signal(PROPS, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.method(SESSION, in_signature="b")
    def SetLockedHint(self, locked):
        self.locked = bool(locked)
        self.PropertiesChanged(SESSION, {"LockedHint": dbus.Boolean(self.locked)},
                               dbus.Array([], signature="s"))

    @dbus.service.signal(SESSION)
    def Lock(self):
        pass

    @dbus.service.signal(SESSION)
    def Unlock(self):
        pass

    # (Named apart from the signals, which the Python binding keys by name.)
    @dbus.service.method(SESSION, in_signature="b")
    def SendLock(self, lock):
        if lock:
            self.Lock()
        else:
            self.Unlock()


class ScreenSaver(dbus.service.Object):
    active = False

    @dbus.service.method(SAVER, out_signature="b")
    def GetActive(self):
        return self.active

    @dbus.service.method(SAVER, in_signature="b", out_signature="b")
    def SetActive(self, active):
        self.active = bool(active)
        self.ActiveChanged(self.active)
        return True

    @dbus.service.signal(SAVER, signature="b")
    def ActiveChanged(self, active):
        pass


NOTIFY = "org.freedesktop.Notifications"


class Notifications(dbus.service.Object):
    inhibited = False

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface != NOTIFY or name != "Inhibited":
            raise dbus.exceptions.DBusException("no such property",
                                                name="org.freedesktop.DBus.Error.UnknownProperty")
        return dbus.Boolean(self.inhibited)

    @dbus.service.signal(PROPS, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.method(NOTIFY, out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(NOTIFY, in_signature="b")
    def SetInhibited(self, inhibited):
        self.inhibited = bool(inhibited)
        self.PropertiesChanged(NOTIFY, {"Inhibited": dbus.Boolean(self.inhibited)},
                               dbus.Array([], signature="s"))


GSM = "org.gnome.SessionManager"


class SessionManager(dbus.service.Object):
    actions = 0

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface != GSM or name != "InhibitedActions":
            raise dbus.exceptions.DBusException("no such property",
                                                name="org.freedesktop.DBus.Error.UnknownProperty")
        return dbus.UInt32(self.actions)

    @dbus.service.signal(PROPS, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.method(GSM, in_signature="u")
    def SetInhibitedActions(self, actions):
        self.actions = int(actions)
        self.PropertiesChanged(GSM, {"InhibitedActions": dbus.UInt32(self.actions)},
                               dbus.Array([], signature="s"))


def main():
    DBusGMainLoop(set_as_default=True)
    if sys.argv[1] == "logind":
        bus = dbus.SystemBus()
        keep = [Manager(bus, "/org/freedesktop/login1"), Session(bus, SESSION_PATH)]
        name = dbus.service.BusName(LOGIN, bus)
    elif sys.argv[1] == "session":
        bus = dbus.SessionBus()
        keep = [SessionManager(bus, "/org/gnome/SessionManager")]
        name = dbus.service.BusName(GSM, bus)
    elif sys.argv[1] == "notifications":
        bus = dbus.SessionBus()
        keep = [Notifications(bus, "/org/freedesktop/Notifications")]
        name = dbus.service.BusName(NOTIFY, bus)
    else:
        bus = dbus.SessionBus()
        keep = [ScreenSaver(bus, "/org/freedesktop/ScreenSaver")]
        name = dbus.service.BusName(SAVER, bus)
    print("ready", flush=True)
    GLib.MainLoop().run()
    del keep, name


if __name__ == "__main__":
    main()
