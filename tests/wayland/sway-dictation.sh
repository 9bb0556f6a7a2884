#!/usr/bin/env bash
# Whole dictations on headless sway, run inside headless-sway.sh: the program (an XWayland
# client) with the real local speech service, a native Wayland editor, recordings played into a
# private sound server's microphone, and `wrenly --toggle` as the trigger, as a sway binding
# would run it (the headless seat has no keyboard to tap).
#   tests/wayland/headless-sway.sh tests/wayland/sway-dictation.sh BUILD_DIR [gtk4]
# Without `gtk4`: one dictation into mousepad (GTK 3). With it, into gnome-text-editor (GTK 4):
# a spoken rewrite of a selection, then a dictation by stream and one by upload.
set -uo pipefail
build=$1
editor=${2:-mousepad}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/dictation-session.sh
source "$here/../../scripts/lib/dictation-session.sh"
speech=/usr/share/pocketsphinx/test/data/goforward.raw

fail() {
  session_log "FAIL (sway dictation): $*"
  tail -n 30 "$session_dir"/{service,wrenly,sway}.log >&2 2>/dev/null
  exit 1
}

toggle() { QT_QPA_PLATFORM=xcb "$build/src/app/wrenly" --toggle; }

# A native window of NAME, in front: open_editor NAME COMMAND...
open_editor() {
  session_launch "$@"
  session_editor=$(cat "$session_dir/$1.pid")
  session_wait 200 sh -c "swaymsg -t get_tree | grep -q '\"pid\": $session_editor'" ||
    fail "$1 did not show a window"
  swaymsg "[pid=$session_editor] focus" >/dev/null || fail "focusing $1"
}

# Waits until the editor's text holds WANTED COUNT times; prints the clock (ns) when it did, then
# the text. GTK 4 does not say its text view is showing, so the text is read without asking.
appears() {  # appears WANTED COUNT SECONDS
  /usr/bin/python3 - "$session_lib_dir" "$session_editor" "$@" <<'PY'
import sys, time
sys.path.insert(0, sys.argv[1])
import desktop_probe
pid, wanted, count = int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
deadline = time.monotonic() + float(sys.argv[5])
while time.monotonic() < deadline:
    text = desktop_probe.text_of(pid) or ""
    if text.count(wanted) >= count:
        sys.exit(print(time.time_ns(), text, sep="\n"))
    time.sleep(0.005)
sys.exit(1)
PY
}

# One dictation of RAW; says how long after the stop the COUNT-th WANTED showed (the watcher
# starts before the stop, so its own start-up is not counted).
dictate() {  # dictate RAW WANTED COUNT HOW
  toggle || fail "starting by --toggle"
  $session_probe play "$session_microphone" "$1" || fail "playing"
  appears "$2" "$3" 60 >"$session_dir/appeared" &
  local watcher=$! stopped shown
  sleep 1  # the watcher is reading the editor
  stopped=$(date +%s%N)
  toggle || fail "stopping by --toggle"
  wait "$watcher" || fail "no $4 dictation in $editor: '$(appears "" 1 1)'"
  text=$(tail -n +2 "$session_dir/appeared")
  shown=$(( ($(head -n 1 "$session_dir/appeared") - stopped) / 1000000 ))
  session_log "landed in the native $editor by $4: ${text//$'\n'/ | } (shown ${shown} ms after the stop)"
}

# What session_start does, less the X server and window manager: sway and XWayland are there.
sandbox_dir=$WRENLY_TEST_DESKTOP_DIR
session_dir=$sandbox_dir
session_build=$build
GDK_BACKEND=x11 sandbox_start_tray
sandbox_start_keyring
sandbox_start_sound microphone:16000:1 || fail "sound server"
session_microphone="$session_dir/microphone.fifo"
mkdir -p "$session_dir/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s/opened"\n' "$session_dir" >"$session_dir/bin/xdg-open"
chmod +x "$session_dir/bin/xdg-open"
: >"$session_dir/opened"

session_start_service || fail "service"
session_start_program || fail "program"
session_set_up_trigger_key || fail "trigger key"
session_sign_in || fail "sign-in"

if [[ $editor == mousepad ]]; then
  open_editor mousepad env GDK_BACKEND=wayland mousepad --disable-server
  dictate "$speech" forward 1 "the default"
  session_log "PASS (sway dictation)"
  exit 0
fi

editor=gnome-text-editor
# The instruction is synthesised, as no recording of one ships with the system.
flite -voice kal16 -t "make it a numbered list" -o "$session_dir/instruction.wav" ||
  fail "speech synthesis"
sox "$session_dir/instruction.wav" -r 16000 -c 1 -b 16 -e signed -t raw \
  "$session_dir/instruction.raw" || fail "converting the instruction"
printf 'apples, pears, plums' >"$session_dir/note.txt"
open_editor gnome-text-editor env GDK_BACKEND=wayland gnome-text-editor --standalone \
  "$session_dir/note.txt"
appears plums 1 30 >/dev/null || fail "gnome-text-editor did not show the document"
diagnostics=$XDG_STATE_HOME/Wrenly/Diagnostics/timing.log
captures_before=$(grep -c "target captured" "$diagnostics")
# A keyboard that goes takes the window's keyboard focus with it: this one stays to the end.
session_launch wtype wtype -M ctrl a -m ctrl -s 600000
dictate "$session_dir/instruction.raw" "3. plums" 1 "a spoken rewrite of the selection"
[[ $text == *"1. apples"* && $text == *"2. pears"* ]] || fail "rewritten wrongly: '$text'"
grep -q "path=text status=200" "$session_dir/service.log" || fail "no spoken task on the service"

# The tick box is in the program's window: back to the editor after it, as a user clicks there.
live() { session_live_recognition "$1" && swaymsg "[pid=$session_editor] focus" >/dev/null; }
live on || fail "tick"
dictate "$speech" forward 1 stream
grep -q "stream finish_to_result_ms" "$session_dir/service.log" || fail "no live stream"
live off || fail "tick"
dictate "$speech" forward 2 upload
grep -q "path=transcribe status=200" "$session_dir/service.log" || fail "no upload"
# The first capture in the editor found its text view.
captures=$(grep -o "target captured ax=.*" "$diagnostics" | tail -n +$((captures_before + 1)))
[[ $captures == "target captured ax=true"* ]] || fail "captures: ${captures//$'\n'/, }"
session_log "captures in the editor: ${captures//$'\n'/, }"
session_log "PASS (sway dictation into GTK 4)"
