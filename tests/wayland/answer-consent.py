#!/usr/bin/env python3
"""Answers the desktop's remote-desktop consent dialog over the accessibility bus, as a user
would click: `share` ticks "Allow remote interaction" and presses Share, `refuse` presses Cancel.
Exits 0 once a dialog was answered and has gone, 1 if none came within 30 s."""
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

DIALOG_OWNER = "xdg-desktop-portal-gnome"


def controls(node, found, depth=0):
    if node is None or depth > 30:
        return found
    role = node.get_role()
    if role in (Atspi.Role.CHECK_BOX, Atspi.Role.PUSH_BUTTON, Atspi.Role.TOGGLE_BUTTON):
        found.append(node)
    for i in range(node.get_child_count()):
        controls(node.get_child_at_index(i), found, depth + 1)
    return found


def dialog_controls():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() == DIALOG_OWNER:
            return controls(app, [])
    return []


def press(node, action):
    for i in range(node.get_n_actions()):
        if node.get_action_name(i) == action:
            node.do_action(i)
            return


def main():
    answer = sys.argv[1] if len(sys.argv) > 1 else "share"
    answered = False
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        found = dialog_controls()
        if not found and answered:
            return 0
        boxes = [n for n in found if n.get_role() == Atspi.Role.CHECK_BOX]
        unchecked = [n for n in boxes if not n.get_state_set().contains(Atspi.StateType.CHECKED)]
        if answer == "share" and unchecked:
            # Share only once the box shows the tick, as a user would look before clicking.
            press(unchecked[0], "toggle")
        else:
            wanted = "Share" if answer == "share" else "Cancel"
            for node in found:
                if node.get_role() == Atspi.Role.PUSH_BUTTON and wanted in (node.get_name() or ""):
                    # A click right after the dialog appears is ignored: repeat until it goes.
                    press(node, "click")
                    answered = True
        time.sleep(0.3)
    return 1


if __name__ == "__main__":
    sys.exit(main())
