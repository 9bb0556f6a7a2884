#!/usr/bin/env bash
# Measures what the running program costs while idle: it starts a private headless desktop
# (lib/sandbox.sh: Xvfb, openbox, a tray, a session bus with an unlocked keyring, a sound server
# whose default source is silent), starts wrenly, lets it settle, then counts its context
# switches and CPU time over 60 s and reads its resident memory. Everything started here is
# stopped by PID.
#   scripts/idle-cost.sh [build-dir] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
seconds="${2:-60}"
program="$(pwd)/$build/src/app/wrenly"
# shellcheck source=lib/sandbox.sh
source scripts/lib/sandbox.sh

trap sandbox_stop EXIT
sandbox_begin "$(mktemp -d /tmp/wrenly-idle.XXXXXX)"
scratch=$sandbox_dir
sandbox_start_x 1280x800x24
sandbox_start_session_bus
sandbox_start_window_manager
sandbox_start_tray
sandbox_start_keyring
sandbox_start_sound

sandbox_launch wrenly "$program"
app=$(cat "$scratch/wrenly.pid")
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
