#!/usr/bin/python3
# A GTK3 window with a text entry, a text view and a password entry, driven line by line from
# stdin, answering "ok" on stdout. It also owns the clipboard for the tests.
#   focus entry|view|password     set entry|view|password TEXT     clip TEXT     quit
import sys
import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk

window = Gtk.Window(title="Wrenly test fields")
box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
fields = {"entry": Gtk.Entry(), "view": Gtk.TextView(), "password": Gtk.Entry()}
fields["password"].set_visibility(False)
for field in fields.values():
    box.pack_start(field, True, True, 0)
window.add(box)
window.set_default_size(400, 300)
clipboard = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD)


def run(line):
    verb, _, rest = line.partition(" ")
    name, _, text = rest.partition(" ")
    if verb == "focus":
        fields[name].grab_focus()
    elif verb == "set":
        field = fields[name]
        (field.get_buffer() if name == "view" else field).set_text(text)
    elif verb == "clip":
        clipboard.set_text(rest, -1)
    elif verb == "quit":
        Gtk.main_quit()


def command(source, _condition):
    line = source.buffer.readline().decode("utf-8")
    if not line:
        Gtk.main_quit()
        return False
    run(line.rstrip("\n"))
    print("ok", flush=True)
    return True


GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
window.connect("destroy", Gtk.main_quit)
window.show_all()
print("ready", flush=True)
Gtk.main()
