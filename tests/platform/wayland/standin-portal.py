#!/usr/bin/python3
# A stand-in ScreenCast portal for tests, on the test's private session bus:
# it offers cursor metadata (as GNOME's and KDE's portals do), answers every
# request through a Request object's Response signal, hands out the stream
# node that the test's own producer wrote into $STANDIN_DIR/node, and writes
# each call it gets to $STANDIN_DIR/calls (one JSON line each). A file
# $STANDIN_DIR/answer holding 1 makes Start answer "cancelled by the user".
import json
import os
import socket

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

SC = "org.freedesktop.portal.ScreenCast"
GS = "org.freedesktop.portal.GlobalShortcuts"
DIR = os.environ["STANDIN_DIR"]

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
tokens = 0


def log(call, **fields):
    with open(os.path.join(DIR, "calls"), "a") as f:
        f.write(json.dumps(dict(call=call, **fields)) + "\n")


def plain(options):
    return {str(k): (str(v) if isinstance(v, (dbus.String, dbus.ObjectPath)) else int(v))
            for k, v in options.items()}


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, code, results):
        pass


class Session(dbus.service.Object):
    @dbus.service.method("org.freedesktop.portal.Session")
    def Close(self):
        log("Close")
        self.remove_from_connection()


# dbus-python finds a method by its Python name, so the second interface's
# CreateSession lives in a base class, where the lookup goes on to.
class ShortcutsPortal(dbus.service.Object):
    def respond(self, sender, options, code, results):
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (
            sender[1:].replace(".", "_"), options["handle_token"])
        request = Request(bus, path)

        def answer():
            request.Response(dbus.UInt32(code), dbus.Dictionary(results, signature="sv"))
            request.remove_from_connection()
            return False
        # After the method's reply, as real portals do.
        GLib.timeout_add(10, answer)
        return dbus.ObjectPath(path)

    def create_session(self, options, sender):
        path = "/org/freedesktop/portal/desktop/session/%s/%s" % (
            sender[1:].replace(".", "_"), options["session_handle_token"])
        Session(bus, path)
        if "shortcuts" in options:
            log("CreateSession", shortcuts=[[str(i), plain(p)] for i, p in options["shortcuts"]])
        else:
            log("CreateSession")
        return self.respond(sender, options, 0, {"session_handle": dbus.String(path)})

    @dbus.service.method(GS, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        return self.create_session(options, sender)

    @dbus.service.method(GS, in_signature="oa(sa{sv})sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent, options, sender=None):
        log("BindShortcuts", shortcuts=[[str(i), plain(p)] for i, p in shortcuts])

        def press():
            for shortcut_id, _ in shortcuts:
                self.Activated(session, shortcut_id, dbus.UInt64(0), dbus.Dictionary({}, signature="sv"))
            return False
        GLib.timeout_add(200, press)
        return self.respond(sender, options, 0, {"shortcuts": shortcuts})

    @dbus.service.signal(GS, signature="osta{sv}")
    def Activated(self, session, shortcut_id, timestamp, options):
        pass



class Portal(ShortcutsPortal):
    @dbus.service.method(SC, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        return self.create_session(options, sender)

    @dbus.service.method(SC, in_signature="oa{sv}", out_signature="o", sender_keyword="sender")
    def SelectSources(self, session, options, sender=None):
        log("SelectSources", options={k: v for k, v in plain(options).items()
                                       if k != "handle_token"})
        return self.respond(sender, options, 0, {})

    @dbus.service.method(SC, in_signature="osa{sv}", out_signature="o", sender_keyword="sender")
    def Start(self, session, parent, options, sender=None):
        global tokens
        answer_file = os.path.join(DIR, "answer")
        code = int(open(answer_file).read()) if os.path.exists(answer_file) else 0
        log("Start", code=code)
        if code:
            return self.respond(sender, options, code, {})
        node = int(open(os.path.join(DIR, "node")).read())
        tokens += 1
        stream = dbus.Struct((dbus.UInt32(node), dbus.Dictionary({
            "position": dbus.Struct((0, 0), signature="ii"),
            "size": dbus.Struct((320, 240), signature="ii"),
            "source_type": dbus.UInt32(1)}, signature="sv")), signature="ua{sv}")
        return self.respond(sender, options, 0, {
            "streams": dbus.Array([stream], signature="(ua{sv})"),
            "restore_token": dbus.String("token-%d" % tokens)})

    @dbus.service.method(SC, in_signature="oa{sv}", out_signature="h")
    def OpenPipeWireRemote(self, session, options):
        log("OpenPipeWireRemote")
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        sock.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], "pipewire-0"))
        fd = dbus.types.UnixFd(sock.fileno())  # a copy of its own
        sock.close()
        return fd

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == GS and name == "version":
            return dbus.UInt32(1)
        values = {"version": dbus.UInt32(4), "AvailableCursorModes": dbus.UInt32(7),
                  "AvailableSourceTypes": dbus.UInt32(1)}
        if interface != SC or name not in values:
            raise dbus.exceptions.DBusException(
                "No such interface or property", name="org.freedesktop.DBus.Error.UnknownProperty")
        return values[name]


portal = Portal(bus, "/org/freedesktop/portal/desktop")
name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)
GLib.MainLoop().run()
