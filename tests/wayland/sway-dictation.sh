#!/usr/bin/env bash
# A whole dictation on headless sway, run inside headless-sway.sh: the program (an XWayland
# client) with the real local speech service, a native Wayland mousepad, a recording played into
# a private sound server's microphone, and `wrenly --toggle` as the trigger, as a sway binding
# would run it (the headless seat has no keyboard to tap).
#   tests/wayland/headless-sway.sh tests/wayland/sway-dictation.sh BUILD_DIR
set -uo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/dictation-session.sh
source "$here/../../scripts/lib/dictation-session.sh"
speech=/usr/share/pocketsphinx/test/data/goforward.raw

fail() {
  session_log "FAIL (sway dictation): $*"
  tail -n 30 "$session_dir"/{service,wrenly,sway}.log >&2 2>/dev/null
  exit 1
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

session_launch mousepad env GDK_BACKEND=wayland mousepad --disable-server
session_editor=$(cat "$session_dir/mousepad.pid")
session_wait 200 sh -c "swaymsg -t get_tree | grep -q '\"pid\": $session_editor'" ||
  fail "mousepad did not show a window"
swaymsg "[pid=$session_editor] focus" >/dev/null || fail "focusing mousepad"
QT_QPA_PLATFORM=xcb "$build/src/app/wrenly" --toggle || fail "starting by --toggle"
$session_probe play "$session_microphone" "$speech" || fail "playing"
stopped=$(date +%s%N)
QT_QPA_PLATFORM=xcb "$build/src/app/wrenly" --toggle || fail "stopping by --toggle"
$session_probe wait "$session_editor" forward 60 || fail "no dictation in mousepad"
shown=$(( ($(date +%s%N) - stopped) / 1000000 ))
text=$(session_editor_text "forward" 60) || fail "no dictation in mousepad: '$text'"
session_log "landed in the native mousepad: $text (shown ${shown} ms after the stop)"
session_log "PASS (sway dictation)"
