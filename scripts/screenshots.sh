#!/usr/bin/env bash
# Draws the window, tray popup and overlay on a private X server and writes the README's
# pictures to docs/screenshots/. Uses display :53; everything started here is stopped by PID.
#   scripts/screenshots.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
display=":53"

cmake --build "$build" --target wrenly-screenshots >/dev/null

scratch=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp -noreset >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  DISPLAY="$display" xdpyinfo >/dev/null 2>&1 && break
  sleep 0.05
done

mkdir -p docs/screenshots
HOME="$scratch" XDG_RUNTIME_DIR="$scratch" DISPLAY="$display" QT_QPA_PLATFORM=xcb \
  QT_SCALE_FACTOR=1 "$build/tools/wrenly-screenshots/wrenly-screenshots" docs/screenshots
