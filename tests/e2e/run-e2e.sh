#!/usr/bin/env bash
# One end-to-end case on a private headless desktop with the real program, the real local speech
# service, mousepad and a recording played into the microphone:
#   tests/e2e/run-e2e.sh BUILD_DIR stream|batch|selection|toggle|reader|engine|engine-down|account|
#                        service-killed|service-down|featherpad|firefox|silent|replace|history|
#                        interim|hold
set -uo pipefail
build=$1
case_name=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/dictation-session.sh
source "$here/../../scripts/lib/dictation-session.sh"
# shellcheck source=../../scripts/lib/history-session.sh
source "$here/../../scripts/lib/history-session.sh"
speech=/usr/share/pocketsphinx/test/data/goforward.raw

scratch=$(mktemp -d /tmp/wrenly-e2e.XXXXXX)
fail() {
  session_log "FAIL ($case_name): $*"
  tail -n 30 "$scratch"/{service,wrenly}.log >&2 2>/dev/null
  session_program_backtrace >&2
  exit 1
}
trap 'session_stop' EXIT

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# Nothing said, selected or any credential may reach either log.
logs_keep_content_out() {
  local leaked
  leaked=$(grep -rliE "forward|meters|apples|numbered|bearer|token=" "$XDG_STATE_HOME/Wrenly" "$scratch/service.log" \
    2>/dev/null)
  [[ -z $leaked ]] || fail "speech content or a credential in $leaked"
}

own_words() {  # own_words LINE...: the words file the program reads when it starts
  mkdir -p "$XDG_CONFIG_HOME/wrenly" && printf '%s\n' "$@" >"$XDG_CONFIG_HOME/wrenly/words.txt"
}

ready() {  # desktop, service, program, trigger key and sign-in
  session_start "$scratch" "$build" || fail "desktop"
  session_start_service "${service_options[@]}" || fail "service"
  [[ $case_name != replace ]] || own_words "forward => onward" "Kowloon Tong" || fail "words file"
  session_start_program || fail "program"
  session_set_up_trigger_key || fail "trigger key"
  session_sign_in || fail "sign-in"
}

landed() {
  local text
  text=$(session_editor_text "forward" "${1:-60}") || fail "no dictation in mousepad: '$text'"
  session_log "landed in mousepad: $text"
}

# A live dictation into a fresh mousepad during which `$1` runs half-way through the speech.
interrupted_live_dictation() {
  session_live_recognition on || fail "tick"
  session_open_editor || fail "mousepad"
  session_focus_editor
  session_tap_trigger
  $session_probe play "$session_microphone" "$speech" &
  local player=$!
  sleep 1.5
  "$1"
  wait "$player" || fail "playing"
  session_tap_trigger
}
restart_service() {
  session_kill_service
  session_start_service || fail "restart"
}
stop_engine() {
  kill "$engine_pid"
  wait "$engine_pid" 2>/dev/null
}

fields="/usr/bin/python3 $here/../../scripts/lib/field_probe.py"
focus_window() {  # focus_window PID: its last window forward, as a click on it would
  local window
  window=$(xdotool search --onlyvisible --pid "$1" | tail -n 1)
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowactivate "$window"
}
live_recognition() {  # live_recognition on|off: the tick box clicked, its window brought forward
  xdotool windowactivate --sync "$(history_window)" || fail "the program's window"
  session_live_recognition "$1" || fail "tick"
}
# A dictation of the recording `$2` into the window of `$1`, whose field named `$4` (by default
# the first text area) keeps the focus: logs how long after the stop `$3` showed there.
dictate_and_time() {
  local after timings=$XDG_STATE_HOME/Wrenly/Diagnostics/timing.log
  focus_window "$1"
  session_tap_trigger
  $session_probe play "$session_microphone" "$2" || fail "playing"
  # The trigger key took the focus nowhere, such as to a menu bar, while the user spoke.
  $fields focused "$1" ${4:+"$4"} || fail "the field lost the focus during the recording"
  after=$($fields stop "$1" "$3" ${4:+"$4"}) || fail "nothing landed in ${4:-the document}"
  session_log "stop to visible in ${4:-the document}: $after ms (text ready in the program after" \
    "$(grep -o 'text_ready stop_ms=[0-9]*' "$timings" | tail -n 1 | cut -d = -f 2) ms)"
}
all_pasted() {  # all_pasted COUNT: that many deliveries, each pasted into its field
  local timings=$XDG_STATE_HOME/Wrenly/Diagnostics/timing.log
  session_wait 50 sh -c "[ \$(grep -c 'delivery result=' '$timings') -ge $1 ]"
  [[ $(grep -c "delivery result=pasteSent" "$timings") == "$1" ]] ||
    fail "not every dictation was pasted"
}

service_options=()
if [[ $case_name == engine* ]]; then
  # A recognition server of the user's, as the service reaches it over the OpenAI-compatible
  # transcription API; it answers in Simplified Chinese, as such servers do for Mandarin.
  engine_port=$(free_port)
  cat >"$scratch/engine.py" <<'PY'
import http.server, json, sys
port, record = int(sys.argv[1]), sys.argv[2]
class Engine(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        self.rfile.read(int(self.headers["Content-Length"]))
        with open(record, "a") as out:
            out.write(self.path + "\n")
        body = json.dumps({"text": "这是一个测试。"}).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
http.server.HTTPServer(("127.0.0.1", port), Engine).serve_forever()
PY
  start_engine() {
    /usr/bin/python3 - "$engine_port" "$scratch/engine-requests" <"$scratch/engine.py" \
      >>"$scratch/engine.log" 2>&1 &
    engine_pid=$!
  }
  start_engine
  trap 'kill $engine_pid 2>/dev/null; session_stop' EXIT
  service_options=(--engine endpoint --endpoint-url "http://127.0.0.1:$engine_port/v1"
                   --endpoint-model scripted)
fi
ready
case $case_name in
  stream | batch)
    session_live_recognition "$([[ $case_name == stream ]] && echo on || echo off)" || fail "tick"
    session_open_editor || fail "mousepad"
    session_dictate "$speech" || fail "dictation"
    landed
    if [[ $case_name == stream ]]; then
      grep -q "stream finish_to_result_ms" "$scratch/service.log" || fail "no live stream"
    else
      grep -q "path=transcribe status=200" "$scratch/service.log" || fail "no upload"
    fi
    ;;
  selection)
    # Text selected in mousepad, an instruction spoken (synthesised, as no recording of one ships
    # with the system): the selection becomes a numbered list in place.
    flite -voice kal16 -t "make it a numbered list" -o "$scratch/instruction.wav" || fail "speech synthesis"
    sox "$scratch/instruction.wav" -r 16000 -c 1 -b 16 -e signed -t raw "$scratch/instruction.raw" ||
      fail "converting the instruction"
    session_open_editor "apples, pears, plums" || fail "mousepad"
    xdotool key --clearmodifiers ctrl+a
    session_dictate "$scratch/instruction.raw" || fail "dictation"
    text=$(session_editor_text "3. plums" 60) || fail "the selection was not rewritten: '$text'"
    [[ $text == *"1. apples"* && $text == *"2. pears"* ]] || fail "rewritten wrongly: '$text'"
    session_log "rewritten in mousepad: ${text//$'\n'/ | }"
    grep -q "path=text status=200" "$scratch/service.log" || fail "no spoken task on the service"
    ;;
  service-killed)
    # The service dies half-way through a live dictation and comes straight back (as its
    # service manager would restart it): the upload after the stop still delivers.
    interrupted_live_dictation restart_service
    landed
    grep -q "path=transcribe status=200" "$scratch/service.log" || fail "no upload after the stream"
    ;;
  service-down)
    # Nothing listens when the recording stops: the recording is kept, the message says the
    # local service is not running, and a retry after it is back delivers.
    session_live_recognition off || fail "tick"
    session_open_editor || fail "mousepad"
    session_focus_editor
    session_tap_trigger
    $session_probe play "$session_microphone" "$speech" || fail "playing"
    session_stop_service
    session_tap_trigger
    session_expect "本機語音服務未有運行" 30 || fail "no message about the stopped service"
    session_start_service || fail "restart"
    session_press "重試上一段錄音" || fail "retry button"
    session_focus_editor
    landed
    ;;
  toggle)
    # Where keys cannot be watched, a desktop's own shortcut runs `wrenly --toggle`: the running
    # program starts and stops the dictation as a tap would.
    session_open_editor || fail "mousepad"
    session_focus_editor
    "$build/src/app/wrenly" --toggle || fail "starting by --toggle"
    $session_probe play "$session_microphone" "$speech" || fail "playing"
    "$build/src/app/wrenly" --toggle || fail "stopping by --toggle"
    landed
    ;;
  reader)
    # A screen reader reads the program's window and overlay without pause while the user
    # dictates again and again: every dictation lands and the program is alive at the end.
    session_live_recognition on || fail "tick"
    session_open_editor || fail "mousepad"
    $session_probe read-all "$session_program" "$scratch/passes" &
    reader=$!
    dictations=${WRENLY_READER_DICTATIONS:-25}
    for ((i = 1; i <= dictations; i++)); do
      session_dictate "$speech" || fail "dictation $i"
      session_wait 300 sh -c "[ \$($session_probe text $session_editor 1 | grep -o forward | wc -l) -ge $i ]" ||
        fail "dictation $i did not land"
      kill -0 "$session_program" 2>/dev/null || fail "the program died during dictation $i"
    done
    kill "$reader"
    session_log "$dictations dictations landed while a reader made $(cat "$scratch/passes") passes"
    ;;
  engine)
    # The local service relays the speech to the user's engine; its Simplified answer lands in
    # Traditional characters.
    session_live_recognition off || fail "tick"
    session_open_editor || fail "mousepad"
    session_dictate "$speech" || fail "dictation"
    text=$(session_editor_text "這是一個測試" 60) || fail "no Traditional text in mousepad: '$text'"
    session_log "landed in mousepad: $text"
    grep -q "/v1/audio/transcriptions" "$scratch/engine-requests" || fail "the engine was never asked"
    ;;
  engine-down)
    # The user's engine stops half-way through a live dictation: the recording is kept, the
    # message says the engine did not answer, and a retry once it is back delivers.
    interrupted_live_dictation stop_engine
    session_expect "語音引擎未能回應" 60 || fail "no message about the engine"
    start_engine
    session_wait 100 curl -s -o /dev/null "http://127.0.0.1:$engine_port/" || fail "engine restart"
    session_press "重試上一段錄音" || fail "retry button"
    session_focus_editor
    text=$(session_editor_text "這是一個測試" 60) || fail "the retry did not deliver: '$text'"
    session_log "retried into mousepad: $text"
    ;;
  account)
    session_press "登出語音服務帳戶" || fail "sign-out button"
    session_expect "登入語音服務" 20 || fail "still signed in after signing out"
    # Once more, but first the page's form sent from a page of another origin: refused, and the
    # sign-in it tried to complete still waits for the user.
    session_ask_to_sign_in || fail "second sign-in button"
    session_post_from_elsewhere || fail "a form from another origin"
    session_allow_in_browser || fail "second sign-in"
    session_press "刪除帳戶及資料" || fail "delete button"
    session_press "確認刪除" || fail "delete confirmation"
    session_expect "登入語音服務" 20 || fail "still signed in after deleting the account"
    grep -q "method=DELETE path=access status=200" "$scratch/service.log" ||
      fail "the service never deleted the account"
    ;;
  replace)
    # A replacement pair the user keeps in the words file changes what lands, and the window
    # lists it.
    session_live_recognition off || fail "tick"
    session_press "自訂字詞" || fail "own words section"
    session_expect "forward => onward" 20 || fail "the pair is not in the window's list"
    session_open_editor || fail "mousepad"
    session_dictate "$speech" || fail "dictation"
    text=$(session_editor_text "onward" 60) || fail "no replaced text in mousepad: '$text'"
    [[ $text != *forward* ]] || fail "the replaced word is still there: '$text'"
    session_log "landed in mousepad: $text"
    ;;
  featherpad)
    # The default trigger key in a Qt editor, whose menu bar a lone Alt would otherwise take the
    # focus to: the text lands in the document, uploaded and then live.
    printf 'notes ' >"$scratch/featherpad.txt"
    session_launch featherpad env QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
      featherpad --standalone "$scratch/featherpad.txt"
    session_editor=$(cat "$session_dir/featherpad.pid")
    session_wait 200 sh -c "$session_probe text $session_editor 1 | grep -q notes" ||
      fail "FeatherPad did not show the document"
    dictate_and_time "$session_editor" "$speech" forward
    live_recognition on
    dictate_and_time "$session_editor" "$speech" forward
    text=$(session_editor_text "forward" 60) || fail "no dictation in FeatherPad: '$text'"
    session_log "landed in FeatherPad: $text"
    all_pasted 2
    ;;
  firefox)
    # Firefox ESR as a user starts it, on a local page: a live dictation into its text area, an
    # uploaded one into its one-line field, and a list in a second text area rewritten by a
    # spoken instruction (synthesised). Each is read back over the accessibility bus.
    flite -voice kal16 -t "make it a numbered list" -o "$scratch/instruction.wav" ||
      fail "speech synthesis"
    sox "$scratch/instruction.wav" -r 16000 -c 1 -b 16 -e signed -t raw "$scratch/instruction.raw" ||
      fail "converting the instruction"
    mkdir -p "$scratch/firefox"
    # A first start without welcome, update or default-browser pages over the page.
    for pref in browser.shell.checkDefaultBrowser browser.aboutwelcome.enabled \
      datareporting.policy.dataSubmissionEnabled browser.sessionstore.resume_from_crash; do
      echo "user_pref(\"$pref\", false);"
    done >"$scratch/firefox/user.js"
    echo 'user_pref("browser.startup.homepage_override.mstone", "ignore");' \
      >>"$scratch/firefox/user.js"
    session_launch firefox firefox-esr --no-remote --profile "$scratch/firefox" \
      "file://$here/../../scripts/lib/fields-page.html"
    browser=$(cat "$session_dir/firefox.pid")
    $fields wait "$browser" notes 90 || fail "Firefox did not show the page"
    live_recognition on
    dictate_and_time "$browser" "$speech" forward notes
    live_recognition off
    # On to the next field, and the one after, by the keyboard.
    focus_window "$browser"
    xdotool key Tab
    dictate_and_time "$browser" "$speech" forward line
    xdotool key Tab ctrl+a
    dictate_and_time "$browser" "$scratch/instruction.raw" "3. plums" list
    for name in notes line list; do
      session_log "$name: $($fields text "$browser" $name | tr '\n' '|')"
    done
    [[ $($fields text "$browser" list) == *"1. apples"*"2. pears"* ]] ||
      fail "the list was rewritten wrongly"
    all_pasted 3
    ;;
  silent)
    # Takes of room noise with nothing said, live and uploaded: nothing reaches the recogniser,
    # nothing is pasted, and the overlay says no speech was heard.
    sox -n -r 16000 -c 1 -b 16 -e signed -t raw "$scratch/room.raw" synth 4 brownnoise \
      synth 4 sine mix 50 gain -45 || fail "generating room noise"
    session_open_editor || fail "mousepad"
    for live in on off; do
      session_live_recognition "$live" || fail "tick"
      session_dictate "$scratch/room.raw" || fail "take with live recognition $live"
      $session_probe described "$session_program" "未偵測到語音" 10 ||
        fail "no notice with live recognition $live"
    done
    grep -c "no_speech audio_ms=" "$XDG_STATE_HOME"/Wrenly/Diagnostics/timing.log | grep -qx 2 ||
      fail "the log does not show two takes without speech"
    ! grep -qE "path=transcribe|stream finish_to_result_ms" "$scratch/service.log" ||
      fail "a take without speech reached the recogniser"
    [[ -z $($session_probe text "$session_editor" 1) ]] || fail "something was pasted"
    session_log "two takes of room noise: nothing sent, nothing pasted, the notice shown"
    ;;
  history)
    # A dictation into one mousepad window, then "paste again" from the window's history into a
    # second one, where it lands; the first keeps its one copy. With WRENLY_PICTURES set, the
    # window's history is saved there as the README's picture.
    session_live_recognition off || fail "tick"
    session_open_editor || fail "mousepad"
    session_dictate "$speech" || fail "dictation"
    landed
    first_editor=$session_editor
    history_open_second_editor || fail "second mousepad"
    history_open_in_window || fail "the window's history"
    [[ -z ${WRENLY_PICTURES:-} ]] || history_picture "$WRENLY_PICTURES/window-history.png" ||
      fail "picture"
    session_press "再貼上" || fail "paste-again button"
    landed 30
    [[ $($session_probe text "$first_editor" 1 | grep -c forward) == 1 ]] || fail "first mousepad"
    ;;
  interim)
    # Words while speaking: before the stop, the overlay's label shows the words heard so far
    # (read over the accessibility bus, as a screen reader would); the stop pastes the result.
    session_live_recognition on || fail "tick"
    session_open_editor || fail "mousepad"
    session_tap_trigger
    $session_probe play "$session_microphone" "$speech" || fail "playing"
    session_expect "forward" 20 || fail "no words in the overlay while recording"
    session_screenshot "${WRENLY_OVERLAY_PICTURE:-$scratch/overlay-interim.png}"
    session_tap_trigger
    landed
    ;;
  hold)
    # Hold to talk, chosen in the window: right Alt held down while the recording plays and let
    # go after it. Held by its key code, as a keyboard sends it: by name, xdotool would hold the
    # left Alt with it, and the press would be a shortcut.
    session_press "按住說話" || fail "the hold-to-talk choice"
    session_open_editor || fail "mousepad"
    session_focus_editor
    xdotool keydown 108 || fail "holding right Alt"
    $session_probe play "$session_microphone" "$speech" || fail "playing"
    xdotool keyup 108 || fail "letting right Alt go"
    landed
    ;;
  *) fail "unknown case" ;;
esac
logs_keep_content_out
session_log "PASS ($case_name)"
