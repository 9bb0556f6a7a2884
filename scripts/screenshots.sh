#!/usr/bin/env bash
# Draws the window, tray popup and overlay on a private X server (lib/sandbox.sh) and writes the
# README's pictures to docs/screenshots/. Everything started here is stopped by PID.
#   scripts/screenshots.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="${1:-build/default}"
# shellcheck source=lib/sandbox.sh
source scripts/lib/sandbox.sh

cmake --build "$build" --target wrenly-screenshots >/dev/null

trap sandbox_stop EXIT
sandbox_begin "$(mktemp -d /tmp/wrenly-screenshots.XXXXXX)"
sandbox_start_x 1280x800x24

mkdir -p "$root/docs/screenshots"
QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 "$root/$build/tools/wrenly-screenshots/wrenly-screenshots" \
  "$root/docs/screenshots"
