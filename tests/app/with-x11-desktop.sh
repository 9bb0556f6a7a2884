#!/usr/bin/env bash
# Runs a test program on a private X server (display :54) with openbox and a GTK window whose
# text field has focus. The window's reports go to $WRENLY_TEST_FIELD_LOG. Everything started
# here is stopped by PID.
set -euo pipefail
program="$1"
shift
display=":54"
here="$(cd "$(dirname "$0")" && pwd)"

scratch=$(mktemp -d /tmp/wrenly-x11.XXXXXX)
export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run" XDG_CONFIG_HOME="$scratch/config"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
pids=()
stop_all() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap stop_all EXIT

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp -noreset >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 200); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done

openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 200); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.05
done

export WRENLY_TEST_FIELD_LOG="$scratch/field.log"
NO_AT_BRIDGE=1 /usr/bin/python3 "$here/focused_field.py" >"$WRENLY_TEST_FIELD_LOG" 2>"$scratch/gtk.log" &
pids+=($!)
for _ in $(seq 200); do grep -q ready "$WRENLY_TEST_FIELD_LOG" 2>/dev/null && break; sleep 0.05; done
if ! grep -q ready "$WRENLY_TEST_FIELD_LOG"; then
  echo "the GTK window did not take focus:" >&2
  cat "$scratch/gtk.log" "$scratch/openbox.log" >&2 || true
  exit 1
fi

status=0
QT_QPA_PLATFORM=xcb timeout 100 "$program" "$@" || status=$?
exit "$status"
