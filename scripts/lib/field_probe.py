#!/usr/bin/python3
"""The text fields of an application's window, read as a screen reader would, and the time
from the stop of a dictation to its text showing in one.

  field_probe.py wait PID NAME SECONDS      wait until PID shows a text field named NAME
  field_probe.py text PID NAME              print the field's text
  field_probe.py focused PID [NAME]        exit 1 unless the field (by default the first text
                                           area) has the keyboard focus
  field_probe.py stop PID WANTED [NAME]     tap right Alt (the stop of a dictation), then print
                                           the milliseconds from its release until the field
                                           named NAME (by default the first text area) holds
                                           WANTED once more; exit 1 if not within 60 s

A field is named by its accessible name (a page's aria-label). "Showing" is what the application
tells the accessibility bus its field holds, read every 2 ms: the frame that draws it follows.
"""
import ctypes
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop_probe  # noqa: E402
from desktop_probe import Atspi, gi  # noqa: E402

FIELD_ROLES = {Atspi.Role.TEXT, Atspi.Role.ENTRY}


def field(pid, name):
    if name is None:
        return desktop_probe.first_text_area(pid)

    def named(node):
        try:
            return node.get_role() in FIELD_ROLES and "Text" in node.get_interfaces() and \
                (name is None or node.get_name() == name)
        except gi.repository.GLib.Error:
            return False
    return desktop_probe.find(pid, named)


def text_of(node):
    try:
        return Atspi.Text.get_text(node, 0, -1) or ""
    except gi.repository.GLib.Error:
        return ""


def wait(pid, name, seconds):
    if desktop_probe.until(seconds, lambda: field(pid, name)) is None:
        sys.exit(f"field_probe: no text field named {name!r}")
    return field(pid, name)


def tap_right_alt():
    """Presses and releases right Alt through XTest; answers when the release was sent."""
    x11 = ctypes.CDLL("libX11.so.6")
    xtest = ctypes.CDLL("libXtst.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    xtest.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                        ctypes.c_ulong]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("field_probe: no X display")
    code = x11.XKeysymToKeycode(display, 0xffea)  # Alt_R
    xtest.XTestFakeKeyEvent(display, code, 1, 0)
    x11.XSync(display, 0)
    time.sleep(0.05)
    xtest.XTestFakeKeyEvent(display, code, 0, 0)
    x11.XSync(display, 0)
    released = time.monotonic()
    x11.XCloseDisplay(display)
    return released


def stop(pid, wanted, name):
    node = wait(pid, name, 20)
    before = text_of(node).count(wanted)
    released = tap_right_alt()
    while text_of(node).count(wanted) <= before:
        if time.monotonic() - released > 60:
            sys.exit(f"field_probe: {wanted!r} never showed")
        time.sleep(0.002)
    print(round((time.monotonic() - released) * 1000))


def main(args):
    command = args[0] if args else ""
    if command == "wait":
        wait(int(args[1]), args[2], float(args[3]))
    elif command == "text":
        print(text_of(wait(int(args[1]), args[2], 20)))
    elif command == "focused":
        node = wait(int(args[1]), args[2] if len(args) > 2 else None, 20)
        if not node.get_state_set().contains(Atspi.StateType.FOCUSED):
            sys.exit("field_probe: the field lost the focus")
    elif command == "stop":
        stop(int(args[1]), args[2], args[3] if len(args) > 3 else None)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
