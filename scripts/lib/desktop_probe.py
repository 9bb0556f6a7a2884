#!/usr/bin/python3
"""Acts on the private headless desktop the way a user would, and reads it back.

  desktop_probe.py press PID NAME          press the button or tick box named NAME in PID's window
  desktop_probe.py tick PID NAME on|off     set the tick box named NAME in PID's window
  desktop_probe.py wait PID TEXT [SECONDS] wait until an element of PID's window shows TEXT
  desktop_probe.py described PID TEXT SECONDS  wait until a shown element of PID describes
                                           itself with TEXT (the overlay's notice)
  desktop_probe.py text PID [SECONDS]      print the text of the first text area of PID
  desktop_probe.py settle PID TEXT SECONDS wait until PID's first text area stops changing and
                                           contains TEXT, print it (exit 1 if it never does)
  desktop_probe.py play FIFO RAW           once something records, write RAW (16 kHz mono s16le)
                                           into the microphone pipe at real-time pace
  desktop_probe.py screenshot FILE [X Y W H]  save the whole screen (or that part) as PNG
  desktop_probe.py tap KEYSYM...           press and release each key alone, through XTest
  desktop_probe.py dump PID                print what PID's window shows, one element a line
  desktop_probe.py read-all PID FILE       read every element of every window of PID (names,
                                           roles, states, text) again and again, as a screen
                                           reader does, writing the number of passes to FILE,
                                           until stopped

Everything goes through the accessibility bus (AT-SPI) or the X server, never the program's
internals, so what is checked is what a user would see.
"""
import ctypes
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Atspi, Gdk  # noqa: E402

PRESSABLE = {Atspi.Role.PUSH_BUTTON, Atspi.Role.CHECK_BOX, Atspi.Role.TOGGLE_BUTTON,
             Atspi.Role.RADIO_BUTTON, Atspi.Role.LINK}


def application(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except gi.repository.GLib.Error:
            continue
    return None


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    try:
        count = node.get_child_count()
    except gi.repository.GLib.Error:
        return
    for i in range(count):
        try:
            child = node.get_child_at_index(i)
        except gi.repository.GLib.Error:
            continue
        yield from walk(child, depth + 1)


def showing(node):
    try:
        return node.get_state_set().contains(Atspi.StateType.SHOWING)
    except gi.repository.GLib.Error:
        return False


def shown_text(node):
    parts = []
    try:
        if not showing(node):
            return ""
        parts.append(node.get_name() or "")
        if node.get_role() in (Atspi.Role.LABEL, Atspi.Role.TEXT, Atspi.Role.PARAGRAPH):
            if "Text" in node.get_interfaces():
                parts.append(Atspi.Text.get_text(node, 0, -1) or "")
    except gi.repository.GLib.Error:
        pass
    return " ".join(parts)


def until(seconds, probe):
    deadline = time.monotonic() + seconds
    while True:
        found = probe()
        if found is not None or time.monotonic() > deadline:
            return found
        time.sleep(0.1)


def find(pid, predicate):
    app = application(pid)
    if app is None:
        return None
    for node in walk(app):
        if predicate(node):
            return node
    return None


def press(pid, name):
    def named(node):
        try:
            return node.get_role() in PRESSABLE and node.get_name() == name and showing(node)
        except gi.repository.GLib.Error:
            return False
    node = until(20, lambda: find(pid, named))
    if node is None:
        sys.exit(f"desktop_probe: no button named {name!r}")
    Atspi.Action.do_action(node, 0)


def tick(pid, name, wanted):
    def box(node):
        try:
            return node.get_role() == Atspi.Role.CHECK_BOX and node.get_name() == name and \
                showing(node)
        except gi.repository.GLib.Error:
            return False

    def ticked(node):
        return node.get_state_set().contains(Atspi.StateType.CHECKED)
    node = until(20, lambda: find(pid, box))
    if node is None:
        sys.exit(f"desktop_probe: no tick box named {name!r}")
    if ticked(node) != wanted:
        # A real click: the toggle action of the accessibility bus changes the box without the
        # click the program listens to.
        box_area = Atspi.Component.get_extents(node, Atspi.CoordType.SCREEN)
        subprocess.run(["xdotool", "mousemove", str(box_area.x + 8),
                        str(box_area.y + box_area.height // 2), "click", "1"], check=True)
    if until(5, lambda: True if ticked(node) == wanted else None) is None:
        sys.exit(f"desktop_probe: {name!r} did not change")


def wait(pid, text, seconds):
    if until(seconds, lambda: find(pid, lambda node: text in shown_text(node))) is None:
        sys.exit(f"desktop_probe: {text!r} never showed")


def described(pid, text, seconds):
    def says(node):
        try:
            return showing(node) and text in (node.get_description() or "")
        except gi.repository.GLib.Error:
            return False
    if until(seconds, lambda: find(pid, says)) is None:
        sys.exit(f"desktop_probe: nothing described as {text!r}")


def first_text_area(pid):
    return find(pid, lambda node: node.get_role() == Atspi.Role.TEXT and
                "Text" in node.get_interfaces())


def text_of(pid):
    node = first_text_area(pid)
    return None if node is None else Atspi.Text.get_text(node, 0, -1)


def settle(pid, wanted, seconds):
    deadline = time.monotonic() + seconds
    last, stable_since = None, time.monotonic()
    while time.monotonic() < deadline:
        current = text_of(pid)
        if current != last:
            last, stable_since = current, time.monotonic()
        elif current and wanted in current and time.monotonic() - stable_since > 0.5:
            print(current)
            return
        time.sleep(0.1)
    print(last or "")
    sys.exit(1)


def recording():
    listed = subprocess.run(["pactl", "list", "short", "source-outputs"], capture_output=True,
                            text=True, timeout=10)
    return listed.returncode == 0 and listed.stdout.strip() != ""


def play(fifo, raw):
    if until(30, lambda: True if recording() else None) is None:
        sys.exit("desktop_probe: nothing started recording")
    with open(raw, "rb") as source:
        audio = source.read()
    chunk = 3200  # 100 ms of 16 kHz 16-bit mono
    audio += bytes(chunk * 8)  # a short pause after the words, as a speaker leaves
    with open(fifo, "wb", buffering=0) as pipe:
        start = time.monotonic()
        for k in range(0, len(audio), chunk):
            pipe.write(audio[k:k + chunk])
            delay = start + (k // chunk + 1) * 0.1 - time.monotonic()
            if delay > 0:
                time.sleep(delay)


def tap(names):
    # XTest straight from libXtst: xdotool would add the left Alt to a right Alt.
    x11 = ctypes.CDLL("libX11.so.6")
    xtest = ctypes.CDLL("libXtst.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XStringToKeysym.restype = ctypes.c_ulong
    x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    xtest.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                        ctypes.c_ulong]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("desktop_probe: no X display")
    for name in names:
        code = x11.XKeysymToKeycode(display, x11.XStringToKeysym(name.encode()))
        if code == 0:
            sys.exit(f"desktop_probe: no key for {name}")
        xtest.XTestFakeKeyEvent(display, code, 1, 0)
        x11.XFlush(display)
        time.sleep(0.05)
        xtest.XTestFakeKeyEvent(display, code, 0, 0)
        x11.XFlush(display)
        time.sleep(0.05)
    x11.XCloseDisplay(display)


def read_all(pid, count_file):
    passes = 0
    while True:
        app = application(pid)
        for node in walk(app):
            try:
                node.get_name()
                node.get_role()
                node.get_description()
                node.get_state_set()
                if "Text" in node.get_interfaces():
                    Atspi.Text.get_text(node, 0, -1)
            except gi.repository.GLib.Error:
                pass
        if app is not None:
            passes += 1
            with open(count_file, "w") as out:
                out.write(f"{passes}\n")
        time.sleep(0.02)


def screenshot(path, area=()):
    root = Gdk.get_default_root_window()
    x, y, width, height = area or (0, 0, root.get_width(), root.get_height())
    picture = Gdk.pixbuf_get_from_window(root, x, y, width, height)
    picture.savev(path, "png", [], [])


def main(args):
    command = args[0] if args else ""
    if command == "press":
        press(int(args[1]), args[2])
    elif command == "tick":
        tick(int(args[1]), args[2], args[3] == "on")
    elif command == "wait":
        wait(int(args[1]), args[2], float(args[3]) if len(args) > 3 else 20)
    elif command == "described":
        described(int(args[1]), args[2], float(args[3]))
    elif command == "text":
        found = until(float(args[2]) if len(args) > 2 else 10, lambda: text_of(int(args[1])))
        print(found or "")
    elif command == "settle":
        settle(int(args[1]), args[2], float(args[3]))
    elif command == "play":
        play(args[1], args[2])
    elif command == "tap":
        tap(args[1:])
    elif command == "dump":
        for node in walk(application(int(args[1]))):
            print(node.get_role_name(), "|", shown_text(node))
    elif command == "read-all":
        read_all(int(args[1]), args[2])
    elif command == "screenshot":
        screenshot(args[1], tuple(map(int, args[2:6])))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
