#!/usr/bin/env bash
# Runs a test program against a private headless sound server with two pipe sources:
# "first" (16 kHz mono, the default) and "second" (48 kHz stereo). The program finds the FIFOs
# and the server in WRENLY_TEST_PULSE_DIR and PULSE_SERVER. The server is always stopped.
set -euo pipefail
program="$1"
shift

scratch=$(mktemp -d /tmp/wrenly-pulse.XXXXXX)
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/run"
export PULSE_RUNTIME_PATH="$scratch/run/pulse" PULSE_STATE_PATH="$scratch/state"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
chmod 700 "$XDG_RUNTIME_DIR" "$PULSE_RUNTIME_PATH"

stop_server() {
  local pid
  pid=$(cat "$PULSE_RUNTIME_PATH/pid" 2>/dev/null || true)
  if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap stop_server EXIT

cat >"$scratch/server.pa" <<PA
load-module module-native-protocol-unix socket=$scratch/native
load-module module-null-sink sink_name=nullsink
load-module module-pipe-source source_name=first file=$scratch/first.fifo format=s16le rate=16000 channels=1
load-module module-pipe-source source_name=second file=$scratch/second.fifo format=s16le rate=48000 channels=2
set-default-source first
PA

timeout 20 pulseaudio -n -F "$scratch/server.pa" --daemonize=yes --exit-idle-time=-1 \
  --realtime=no --high-priority=no --use-pid-file=yes --log-target="file:$scratch/pulse.log"
export PULSE_SERVER="unix:$scratch/native"
for _ in $(seq 200); do
  timeout 5 pactl info >/dev/null 2>&1 && break
  sleep 0.05
done
if ! timeout 5 pactl info >/dev/null 2>&1; then
  echo "sound server did not come up:" >&2
  cat "$scratch/pulse.log" >&2 || true
  exit 1
fi

export WRENLY_TEST_PULSE_DIR="$scratch"
status=0
timeout 100 "$program" "$@" || status=$?
if ((status != 0)); then cat "$scratch/pulse.log" >&2 || true; fi
exit "$status"
