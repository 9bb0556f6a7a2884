#!/usr/bin/env bash
# Runs a test program on a private X server with openbox and a GTK window whose text field has
# focus (scripts/lib/sandbox.sh). The window's reports go to $WRENLY_TEST_FIELD_LOG. Everything
# started here is stopped by PID.
set -euo pipefail
program="$1"
shift
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=../../scripts/lib/sandbox.sh
source "$here/../../scripts/lib/sandbox.sh"

trap sandbox_stop EXIT
sandbox_begin "$(mktemp -d /tmp/wrenly-x11.XXXXXX)"
sandbox_start_x 1280x800x24
sandbox_start_window_manager

export WRENLY_TEST_FIELD_LOG="$sandbox_dir/field.log"
sandbox_launch gtk env NO_AT_BRIDGE=1 sh -c 'exec /usr/bin/python3 "$0" >"$1"' \
  "$here/focused_field.py" "$WRENLY_TEST_FIELD_LOG"
sandbox_wait 200 grep -q ready "$WRENLY_TEST_FIELD_LOG" ||
  sandbox_fail "the GTK window did not take focus" || exit 1

status=0
QT_QPA_PLATFORM=xcb timeout 100 "$program" "$@" || status=$?
exit "$status"
