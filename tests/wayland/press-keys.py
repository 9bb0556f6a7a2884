#!/usr/bin/env python3
"""Presses the keys named (X key symbols, e.g. Alt_L Super_L r) together and releases them in
reverse order, through a remote-desktop portal session of its own, as a keyboard would; for
desktops that start such a session without asking. Exits 0 once sent."""
import sys

from gi.repository import Gio, GLib

PORTAL, PATH = "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop"
REMOTE = "org.freedesktop.portal.RemoteDesktop"
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
sender = bus.get_unique_name()[1:].replace(".", "_")
loop = GLib.MainLoop()


def ask(method, arguments, token):
    answer = {}

    def answered(_bus, _sender, _path, _interface, _signal, parameters):
        answer["results"] = parameters.unpack()
        loop.quit()

    path = f"{PATH}/request/{sender}/{token}"
    sub = bus.signal_subscribe(PORTAL, "org.freedesktop.portal.Request", "Response", path,
                               None, 0, answered)
    bus.call_sync(PORTAL, PATH, REMOTE, method, arguments, None, 0, 5000, None)
    GLib.timeout_add(5000, loop.quit)
    loop.run()
    bus.signal_unsubscribe(sub)
    response, results = answer["results"]
    if response != 0:
        sys.exit(f"{method} refused")
    return results


def token(name):
    return {"handle_token": GLib.Variant("s", name)}


session = ask("CreateSession", GLib.Variant("(a{sv})", ({**token("c"),
              "session_handle_token": GLib.Variant("s", "keys")},)), "c")["session_handle"]
ask("SelectDevices", GLib.Variant("(oa{sv})", (session, {**token("d"),
    "types": GLib.Variant("u", 1)})), "d")
ask("Start", GLib.Variant("(osa{sv})", (session, "", token("s"))), "s")
NAMED = {"Alt_L": 0xFFE9, "Super_L": 0xFFEB, "Control_L": 0xFFE3, "Shift_L": 0xFFE1}
symbols = [NAMED.get(name, ord(name[0])) for name in sys.argv[1:]]
# A desktop may drop the first key after the start: a Shift tap goes first.
steps = [(0xFFE1, 1), (0xFFE1, 0)] + [(s, 1) for s in symbols] + [(s, 0) for s in symbols[::-1]]
for symbol, down in steps:
    bus.call_sync(PORTAL, PATH, REMOTE, "NotifyKeyboardKeysym",
                  GLib.Variant("(oa{sv}iu)", (session, {}, symbol, down)), None, 0, 2000, None)
