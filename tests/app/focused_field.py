#!/usr/bin/python3
# A GTK window covering the screen with a focused text field on top. It reports on standard
# output when it is ready, when the field loses focus and where a mouse button was pressed.
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402


def say(line):
    print(line, flush=True)


window = Gtk.Window(title="focused-field")
window.set_default_size(1280, 800)
box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
entry = Gtk.Entry()
area = Gtk.EventBox()
area.set_vexpand(True)
box.pack_start(entry, False, False, 0)
box.pack_start(area, True, True, 0)
window.add(box)
entry.connect("focus-out-event", lambda *_: say("focus-out") or False)
area.connect("button-press-event", lambda _w, e: say("press %d %d" % (e.x_root, e.y_root)) or True)
window.connect("destroy", Gtk.main_quit)
window.show_all()
window.move(0, 0)
window.present()
entry.grab_focus()


def ready():
    if window.is_active() and entry.has_focus():
        say("ready")
        return False
    return True


GLib.timeout_add(50, ready)
Gtk.main()
sys.exit(0)
