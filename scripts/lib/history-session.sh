# shellcheck shell=bash
# The history of dictations as a user reaches it, for the end-to-end tests; source after
# dictation-session.sh.
#
#   history_open_second_editor   a second mousepad window with an empty document, in front;
#                                session_editor is it from then on
#   history_open_in_window       the program's window forward, made taller, its history opened
#                                and scrolled into view with the wheel
#   history_picture FILE         the program's window as a PNG

history_window() { xdotool search --onlyvisible --pid "$session_program" --name Wrenly | head -n 1; }

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
  xdotool windowsize "$window" 460 960
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowactivate "$window"
  eval "$(xdotool getwindowgeometry --shell "$window")"
  session_press "最近的聽寫記錄" || return 1
  xdotool mousemove "$((X + WIDTH / 2))" "$((Y + HEIGHT / 2))" sleep 0.3 click --repeat 15 5
}

history_picture() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$(history_window)")"
  session_screenshot "$session_dir/screen.png" &&
    convert "$session_dir/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"
}
