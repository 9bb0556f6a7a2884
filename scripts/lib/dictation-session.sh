# shellcheck shell=bash
# A whole dictation session on a private headless desktop, shared by scripts/run.sh (the
# demonstration) and the end-to-end tests. Source it, then call the session_* functions in order.
#
#   session_start DIR BUILD      the sandbox (lib/sandbox.sh): desktop, buses, accessibility,
#                                tray, unlocked keyring, a sound server whose microphone is a
#                                pipe; and an xdg-open that writes down what the program asks
#                                the desktop to open, for the browser to be given
#   session_start_service [OPTIONS...]  the user's own local speech service, as installed: on
#                                its socket in $XDG_RUNTIME_DIR/wrenly, its pages on a free
#                                loopback port; the browser (Chromium, lib/browser.py)
#                                opened, to stay open to the end
#   session_start_program        wrenly, pointed at that service
#   session_sign_in              the sign-in button, then the allow button on the service's
#                                page in Chromium (lib/browser.py), then the desktop's
#                                wrenly-auth: handler with the address the page sent it on to
#     = session_ask_to_sign_in; session_allow_in_browser
#   session_post_from_elsewhere  between those two: the page's form sent from another origin
#                                must be refused
#   session_set_up_trigger_key   right Alt, through the program's own window
#   session_open_editor [TEXT]   mousepad with a document holding TEXT (empty by default)
#   session_dictate RAW          tap right Alt, play RAW into the microphone, tap again
#   session_editor_text WANTED   the editor's text once it settles and holds WANTED
#   session_stop                 stop everything started, by PID
#
# Callers set `trap session_stop EXIT` first: every process is started here and stopped by its
# PID, whatever fails.

session_lib_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=sandbox.sh
source "$session_lib_dir/sandbox.sh"
session_probe="/usr/bin/python3 $session_lib_dir/desktop_probe.py"
session_browser="/usr/bin/python3 $session_lib_dir/browser.py"
session_callback_entry="$session_lib_dir/../../data/wrenly-auth-callback.desktop"

session_log() { sandbox_log "$@"; }

session_fail() {
  session_log "FAILED: $*"
  return 1
}

session_launch() { sandbox_launch "$@"; }  # session_launch NAME COMMAND...

session_wait() {  # session_wait TRIES COMMAND...: retry every 100 ms
  local tries=$1
  shift
  sandbox_wait "$((tries * 2))" "$@"
}

session_start() {
  session_dir=$1
  session_build=$2
  sandbox_begin "$session_dir"
  sandbox_start_x || return 1
  sandbox_start_session_bus || return 1
  sandbox_start_window_manager || return 1
  sandbox_start_accessibility || return 1
  session_log "desktop on $DISPLAY"
  sandbox_start_tray
  sandbox_start_keyring
  sandbox_start_sound microphone:16000:1 || return 1
  session_microphone="$session_dir/microphone.fifo"

  # The desktop's opener: what the program asks it to show is written down for the browser.
  mkdir -p "$session_dir/bin"
  cat >"$session_dir/bin/xdg-open" <<SH
#!/bin/sh
printf '%s\n' "\$1" >>"$session_dir/opened"
SH
  chmod +x "$session_dir/bin/xdg-open"
  : >"$session_dir/opened"
}

session_authority() { echo "$XDG_DATA_HOME/wrenly-speech-service/authority.pem"; }

session_socket() { echo "$XDG_RUNTIME_DIR/wrenly/speech-service.sock"; }

session_start_service() {  # session_start_service [SERVICE OPTIONS...]
  session_launch service "$session_build/speech-service/wrenly-speech-service" "$@"
  # Over its socket, as the program calls it: the address names the certificate only.
  session_wait 300 curl -s -o /dev/null --unix-socket "$(session_socket)" \
    --cacert "$(session_authority)" "$(session_base_url)access" ||
    session_fail "the speech service did not start: $(cat "$session_dir/service.log")" || return 1
  session_log "speech service on $(session_socket), pages at" \
    "$(cat "$XDG_RUNTIME_DIR/wrenly/speech-service.pages") (pid $(cat "$session_dir/service.pid"))"
  [[ -n ${BROWSER_SESSION:-} ]] || session_start_browser
}

# One browser for the whole session, as a user keeps theirs open. It needs no trust in the
# service's authority: the pages come over plain HTTP.
session_start_browser() {
  BROWSER_DRIVER=$(/usr/bin/python3 -c \
    'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  export BROWSER_DRIVER
  session_launch chromedriver /usr/bin/chromedriver --port="$BROWSER_DRIVER"
  BROWSER_SESSION=$($session_browser start "$session_dir/browser-profile" \
    2>>"$session_dir/browser.log") ||
    session_fail "Chromium did not start: $(tail -n 3 "$session_dir/browser.log")" || return 1
  export BROWSER_SESSION
  session_log "Chromium running, driven through chromedriver on port $BROWSER_DRIVER"
}

session_stop_service() {
  local pid
  pid=$(cat "$session_dir/service.pid")
  kill -TERM "$pid" 2>/dev/null || true
  session_wait 50 sh -c "! kill -0 $pid" || kill -KILL "$pid" 2>/dev/null || true
}

session_kill_service() {  # as a crash would: no chance to finish anything
  kill -KILL "$(cat "$session_dir/service.pid")" 2>/dev/null || true
}

# The built-in address: a name of the user's own service, which the program reaches through its
# socket and trusts by its authority, both found by itself.
session_base_url() { echo "https://127.0.0.1:47615/wrenly/v1/"; }

session_start_program() {
  # Started in the session's folder with core dumps allowed: a crash leaves its core there, for
  # session_program_backtrace.
  session_launch wrenly sh -c 'ulimit -c unlimited 2>/dev/null; cd "$0" && exec "$@"' "$session_dir" \
    env PATH="$session_dir/bin:$PATH" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    QT_QPA_PLATFORM=xcb "$session_build/src/app/wrenly"
  session_program=$(cat "$session_dir/wrenly.pid")
  session_wait 200 xdotool search --pid "$session_program" --name Wrenly ||
    session_fail "wrenly did not show its window: $(cat "$session_dir/wrenly.log")" || return 1
  session_log "wrenly running (pid $session_program)"
}

# After the program died: every thread's stack from the core it left, where gdb is installed and
# the system writes cores to the working folder.
session_program_backtrace() {
  local core
  core=$(ls -t "$session_dir"/core* 2>/dev/null | head -n 1)
  [[ -n $core ]] && command -v gdb >/dev/null || return 0
  gdb -batch -nx -ex "thread apply all bt 40" "$session_build/src/app/wrenly" "$core" 2>/dev/null |
    grep -v '^\[New LWP'
}

session_live_recognition() {  # session_live_recognition on|off: the window's tick box
  $session_probe tick "$session_program" "啟用即時語音辨識" "$1"
}

session_press() { $session_probe press "$session_program" "$1"; }
session_expect() { $session_probe wait "$session_program" "$1" "${2:-20}"; }

session_set_up_trigger_key() {
  session_expect "步驟 2／2" 20 || return 1
  # The program turned the desktop's assistive technologies on at launch; as a user would, come
  # back to its window, and start key detection again if it still says it is off.
  xdotool windowactivate --sync \
    "$(xdotool search --onlyvisible --pid "$session_program" --name Wrenly | head -n 1)"
  sleep 0.5
  if $session_probe wait "$session_program" "按鍵偵測尚未啟動" 1 2>/dev/null; then
    session_press "重新啟用按鍵偵測" || return 1
    sleep 0.5
  fi
  session_tap_trigger
  session_expect "已偵測到" 10 || return 1
  session_press "確認並開始使用" || return 1
  session_expect "錄音鍵：" 10 || return 1
  session_log "trigger key set to right Alt through the window"
}

session_ask_to_sign_in() {  # the program's button; it asks the desktop to show a page
  local opened_before
  opened_before=$(wc -l <"$session_dir/opened")
  session_sign_in_asked=$(date +%s%3N)
  session_press "登入語音服務" || return 1
  session_wait 100 sh -c "[ \$(wc -l <'$session_dir/opened') -gt $opened_before ]" ||
    session_fail "no sign-in page was opened" || return 1
  session_sign_in_page=$(tail -n 1 "$session_dir/opened")
  # Any user can read a command line: the sign-in's state must not be on xdg-open's.
  [[ $session_sign_in_page != *state=* ]] || session_fail "the state on xdg-open's command line"
}

session_allow_in_browser() {
  local answer callback clicked now
  answer=$($session_browser sign-in "$session_sign_in_page" 2>>"$session_dir/browser.log") ||
    session_fail "sign-in in Chromium: $(tail -n 3 "$session_dir/browser.log")" || return 1
  callback=${answer%%$'\n'*}
  clicked=${answer##*$'\n'}
  session_hand_to_desktop "$callback" || session_fail "the program did not take the callback" ||
    return 1
  session_expect "登出語音服務帳戶" 20 || return 1
  now=$(date +%s%3N)
  session_log "signed in through the service's page in Chromium:" \
    "$((now - clicked)) ms after the allow button, $((now - session_sign_in_asked)) ms after" \
    "the program's sign-in button"
}

session_sign_in() { session_ask_to_sign_in && session_allow_in_browser; }

session_post_from_elsewhere() {  # the page's form, sent by a page of another origin
  $session_browser foreign-post "$session_sign_in_page" 2>>"$session_dir/browser.log" ||
    session_fail "a form from another origin: $(tail -n 3 "$session_dir/browser.log")" || return 1
  session_log "the service refused the form sent from another origin"
}

# What the desktop does with a wrenly-auth: address a headless browser cannot hand it: the Exec
# line of the handler's .desktop file, %u replaced by the address.
session_hand_to_desktop() {
  local words=() i
  read -ra words <<<"$(sed -n 's/^Exec=//p' "$session_callback_entry")"
  for i in "${!words[@]}"; do [[ ${words[i]} == %u ]] && words[i]=$1; done
  PATH="$session_build/tools/wrenly-auth-callback:$PATH" "${words[@]}"
}

session_open_editor() {  # session_open_editor [TEXT]: a document holding TEXT (empty by default)
  printf '%s' "${1:-}" >"$session_dir/note.txt"
  session_launch mousepad mousepad --disable-server "$session_dir/note.txt"
  session_editor=$(cat "$session_dir/mousepad.pid")
  session_wait 200 xdotool search --pid "$session_editor" --class mousepad ||
    session_fail "mousepad did not start" || return 1
  session_focus_editor
  if [[ -n ${1:-} ]]; then
    session_editor_text "$1" 20 >/dev/null || session_fail "mousepad did not show the document"
  else
    session_wait 100 sh -c "$session_probe text $session_editor 1 | grep -q '^$'" || true
  fi
}

session_focus_editor() {
  local window
  window=$(xdotool search --pid "$session_editor" --class mousepad | tail -n 1)
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowactivate "$window"
  sleep 0.3
}

session_tap_trigger() { $session_probe tap Alt_R; }

session_dictate() {  # session_dictate RAW: the whole dictation as the user does it
  session_focus_editor
  session_tap_trigger
  $session_probe play "$session_microphone" "$1" || return 1
  session_tap_trigger
}

session_editor_text() {  # session_editor_text WANTED [SECONDS]
  $session_probe settle "$session_editor" "$1" "${2:-30}"
}

session_screenshot() { $session_probe screenshot "$@"; }  # FILE [X Y WIDTH HEIGHT]

session_stop() {
  # Closed through its driver first: chromedriver stopped by a signal would leave it running.
  if [[ -n ${BROWSER_SESSION:-} ]]; then $session_browser stop 2>/dev/null || true; fi
  sandbox_stop "${session_dir:-}"
}
