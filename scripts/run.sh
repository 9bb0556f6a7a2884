#!/usr/bin/env bash
# Installs, builds, starts the local speech service (unless WRENLY_SERVICE_URL names another
# service) and the desktop program pointed at it; stops the service again when the program ends.
#
# Without a display it runs a whole dictation on a private headless desktop instead, as a
# demonstration to watch: sign-in through the service's page in Chromium, the trigger key set up
# in the program's window, right Alt tapped, a recording of "go forward ten meters" played into
# the microphone, right Alt tapped again; it prints the text that landed in mousepad and saves a
# screenshot. Everything it starts is stopped by PID.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build/default"

# On a desktop only the build packages are needed (the test framework among them is not, so the
# tests are left out of the build); the headless demonstration needs what the tests start.
if [[ -n ${DISPLAY:-} ]]; then
  scripts/install-deps.sh
  cmake --preset default -DWRENLY_BUILD_TESTS=OFF >/dev/null
else
  scripts/install-deps.sh --test
  cmake --preset default >/dev/null
fi
cmake --build --preset default -j "$(nproc)" \
  --target wrenly wrenly-speech-service wrenly-auth-callback

if [[ -n ${DISPLAY:-} ]]; then
  if [[ -z ${WRENLY_SERVICE_URL:-} ]]; then
    # The user's own service on its socket in $XDG_RUNTIME_DIR/wrenly; when one already answers
    # there (the installed unit's), it says so and leaves it be.
    "$build/speech-service/wrenly-speech-service" &
    service_pid=$!
    trap 'kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true' EXIT
  fi
  "$build/src/app/wrenly" "$@"
  exit
fi

# shellcheck source=lib/dictation-session.sh
source scripts/lib/dictation-session.sh
started=$EPOCHREALTIME
scratch=$(mktemp -d /tmp/wrenly-demo.XXXXXX)
picture="$build/demo/dictation.png"
mkdir -p "$(dirname "$picture")"
demo_failed() {
  session_log "the demonstration stopped early; logs:"
  tail -n 20 "$scratch"/{service,wrenly}.log >&2 2>/dev/null || true
  session_screenshot "$picture" 2>/dev/null && session_log "screenshot of the moment: $picture"
  exit 1
}
trap 'session_stop' EXIT

session_start "$scratch" "$build" || demo_failed
session_start_service || demo_failed
session_start_program || demo_failed
session_set_up_trigger_key || demo_failed
session_sign_in || demo_failed
session_live_recognition on || demo_failed
session_open_editor || demo_failed
session_log "dictating: right Alt, the recording, right Alt"
session_dictate /usr/share/pocketsphinx/test/data/goforward.raw || demo_failed
text=$(session_editor_text "forward" 60) || demo_failed
session_screenshot "$picture"
echo
echo "Text that landed in mousepad: $text"
echo "Screenshot: $picture"
awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN {printf "Whole run: %.1f s\n", b - a}'
