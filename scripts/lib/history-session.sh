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

# The program's window: the largest of its windows named so (not the overlay, nor the tray icon).
history_window() {
  for window in $(xdotool search --onlyvisible --pid "$session_program" --name '^Wrenly$'); do
    xwininfo -id "$window" | awk -v id="$window" '/Width:/ {w = $2} /Height:/ {print w * $2, id}'
  done | sort -n | tail -n 1 | cut -d ' ' -f 2
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

history_picture() {  # xwininfo's corner: xdotool's is off by the window manager's frame
  # shellcheck disable=SC2046  # the corner and size, as four arguments
  session_screenshot "$1" $(xwininfo -id "$(history_window)" |
    awk '/Absolute upper-left|Width:|Height:/ {print $NF}')
}
