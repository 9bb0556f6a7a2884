#!/usr/bin/env bash
# Runs a test program against a private headless sound server (scripts/lib/sandbox.sh) with two
# pipe sources: "first" (16 kHz mono, the default) and "second" (48 kHz stereo). The program
# finds the FIFOs and the server in WRENLY_TEST_PULSE_DIR and PULSE_SERVER. The server is always
# stopped.
set -euo pipefail
program="$1"
shift
# shellcheck source=../../scripts/lib/sandbox.sh
source "$(dirname "$0")/../../scripts/lib/sandbox.sh"

trap sandbox_stop EXIT
sandbox_begin "$(mktemp -d /tmp/wrenly-pulse.XXXXXX)"
sandbox_start_sound first:16000:1 second:48000:2

export WRENLY_TEST_PULSE_DIR="$sandbox_dir"
status=0
timeout 100 "$program" "$@" || status=$?
if ((status != 0)); then cat "$sandbox_dir/pulseaudio.log" >&2 || true; fi
exit "$status"
