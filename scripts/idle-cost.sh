#!/usr/bin/env bash
# Measures what the running program costs while idle: it starts a private headless desktop
# (Xvfb on :55, openbox, a tray, a session bus with an unlocked keyring, a sound server with a
# silent source), starts wrenly, lets it settle, then counts its context switches and CPU time
# over 60 s and reads its resident memory. Everything started here is stopped by PID.
#   scripts/idle-cost.sh [build-dir] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
seconds="${2:-60}"
display=":55"
program="$(pwd)/$build/src/app/wrenly"

scratch=$(mktemp -d /tmp/wrenly-idle.XXXXXX)
export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run" XDG_CONFIG_HOME="$scratch/config"
export XDG_STATE_HOME="$scratch/state" XDG_DATA_HOME="$scratch/data"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$XDG_DATA_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
pids=()
stop_all() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap stop_all EXIT

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp -noreset >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 200); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done

dbus-daemon --session --nofork --address="unix:path=$scratch/bus" >"$scratch/dbus.log" 2>&1 &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/bus"
for _ in $(seq 200); do [[ -S "$scratch/bus" ]] && break; sleep 0.05; done

openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
pids+=($!)
trayer --edge bottom --align right --widthtype request --height 24 >"$scratch/trayer.log" 2>&1 &
pids+=($!)

printf '\n' | gnome-keyring-daemon --foreground --unlock --components=secrets \
  >"$scratch/keyring.log" 2>&1 &
pids+=($!)

cat >"$scratch/server.pa" <<PA
load-module module-native-protocol-unix socket=$scratch/pulse
load-module module-null-sink sink_name=silence
set-default-source silence.monitor
PA
pulseaudio -n -F "$scratch/server.pa" --daemonize=no --exit-idle-time=-1 --realtime=no \
  --high-priority=no --log-target="file:$scratch/pulse.log" &
pids+=($!)
export PULSE_SERVER="unix:$scratch/pulse"
for _ in $(seq 200); do timeout 5 pactl info >/dev/null 2>&1 && break; sleep 0.05; done

"$program" >"$scratch/wrenly.log" 2>&1 &
app=$!
pids+=($app)
for _ in $(seq 400); do xwininfo -name Wrenly >/dev/null 2>&1 && break; sleep 0.05; done
if ! kill -0 "$app" 2>/dev/null; then
  echo "wrenly did not start:" >&2
  cat "$scratch/wrenly.log" >&2
  exit 1
fi
if [[ -n "${WRENLY_IDLE_GRAB:-}" ]]; then sleep 3; $WRENLY_IDLE_GRAB; fi
sleep 5  # start-up work (service check, first paint) is not idle cost

# Per thread, so that threads that come and go between the samples are counted right.
sample() {
  local task
  for task in /proc/"$app"/task/*; do
    awk -v tid="${task##*/}" '/^voluntary_ctxt_switches/ {v = $2}
      /^nonvoluntary_ctxt_switches/ {n = $2} END {print tid, v, n}' "$task/status" 2>/dev/null || true
  done
}
sample >"$scratch/before"
t0=$(awk '{print $14 + $15}' /proc/"$app"/stat)
sleep "$seconds"
sample >"$scratch/after"
t1=$(awk '{print $14 + $15}' /proc/"$app"/stat)
read -r voluntary involuntary < <(awk 'NR == FNR {v[$1] = $2; n[$1] = $3; next}
  {dv += $2 - v[$1]; dn += $3 - n[$1]} END {print dv + 0, dn + 0}' "$scratch/before" "$scratch/after")
hz=$(getconf CLK_TCK)
rss=$(awk '/^VmRSS/ {print $2}' /proc/"$app"/status)
threads=$(ls /proc/"$app"/task | wc -l)
cpu_ms=$(((t1 - t0) * 1000 / hz))
echo "idle ${seconds} s: context switches ${voluntary} voluntary, ${involuntary} involuntary;" \
  "CPU ${cpu_ms} ms ($(awk -v c="$cpu_ms" -v s="$seconds" 'BEGIN {printf "%.3f", c / (s * 10)}') %);" \
  "resident ${rss} kB; threads ${threads}"
echo "--- program output"
cat "$scratch/wrenly.log"
