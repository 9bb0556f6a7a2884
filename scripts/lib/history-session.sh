# shellcheck shell=bash
# The history of dictations as a user reaches it, for the end-to-end tests; source after
# dictation-session.sh.
#
#   history_open_second_editor   a second mousepad window with an empty document, in front;
#                                session_editor is it from then on
#   history_open_in_window       the program's window forward, made taller, its history opened
#                                and scrolled into view with the wheel
#   history_picture FILE         the program's window as a PNG (with its history open, before
#                                the paste brings the editor over it)

# The program's window: the largest of its windows named so (the overlay and the tray icon are
# smaller, and mousepad's titles hold the scratch folder's name).
history_window() {
  local window best area=0 X Y WIDTH HEIGHT SCREEN WINDOW
  for window in $(xdotool search --onlyvisible --pid "$session_program" --name '^Wrenly$'); do
    eval "$(xdotool getwindowgeometry --shell "$window")"
    if ((WIDTH * HEIGHT > area)); then area=$((WIDTH * HEIGHT)) best=$window; fi
  done
  echo "$best"
}

history_open_second_editor() {
  : >"$session_dir/second.txt"
  session_launch mousepad-second mousepad --disable-server "$session_dir/second.txt"
  session_editor=$(cat "$session_dir/mousepad-second.pid")
  session_wait 200 xdotool search --pid "$session_editor" --class mousepad || return 1
  session_focus_editor
}

history_open_in_window() {
  local window X Y WIDTH HEIGHT SCREEN
  window=$(history_window)
  xdotool windowsize "$window" 460 740
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowactivate "$window"
  eval "$(xdotool getwindowgeometry --shell "$window")"
  session_press "最近的聽寫記錄" || return 1
  xdotool mousemove "$((X + WIDTH / 2))" "$((Y + HEIGHT / 2))" sleep 0.3 click --repeat 15 5
}

history_picture() {
  local where
  # xwininfo's absolute corner: xdotool's is off by the window manager's frame.
  where=$(xwininfo -id "$(history_window)" | awk '/Absolute upper-left|Width:|Height:/ {print $NF}')
  # shellcheck disable=SC2086  # the four numbers, as four arguments
  /usr/bin/python3 - "$1" $where <<'PY'
import sys
import gi
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk
x, y, width, height = map(int, sys.argv[2:])
Gdk.pixbuf_get_from_window(Gdk.get_default_root_window(), x, y, width, height).savev(
    sys.argv[1], "png", [], [])
PY
}
