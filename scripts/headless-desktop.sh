#!/usr/bin/env bash
# A private headless X11 desktop for tests and benchmarks (scripts/lib/sandbox.sh): Xvfb on a
# display it picks itself, openbox, a session bus, the accessibility bus and registry, with a
# scratch HOME and XDG_RUNTIME_DIR.
#
#   scripts/headless-desktop.sh start DIR      start it; DIR/env holds the variables to source
#   scripts/headless-desktop.sh stop DIR       stop everything it started (by PID), remove DIR
#   scripts/headless-desktop.sh run CMD...     start, run CMD inside, stop; CMD's exit status
set -euo pipefail
# shellcheck source=lib/sandbox.sh
source "$(dirname "$0")/lib/sandbox.sh"

case "${1:-}" in
  start)
    # A desktop that did not come up whole is not left half running.
    sandbox_desktop "$2" || { sandbox_stop "$2"; exit 1; }
    ;;
  stop) sandbox_stop "$2" ;;
  run)
    shift
    scratch=$(mktemp -d /tmp/wrenly-desktop.XXXXXX)
    trap 'sandbox_stop "$scratch"' EXIT
    (sandbox_desktop "$scratch") || exit 1
    status=0
    (source "$scratch/env" && export WRENLY_TEST_DESKTOP_DIR="$scratch" && "$@") || status=$?
    exit "$status"
    ;;
  *)
    echo "usage: $0 start DIR | stop DIR | run COMMAND..." >&2
    exit 2
    ;;
esac
