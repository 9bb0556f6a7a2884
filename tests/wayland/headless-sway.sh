#!/usr/bin/env bash
# Runs a command inside a private headless sway session: a session bus, sway without input
# devices (XWayland at DISPLAY=:0, started on the first X client), the accessibility bus and
# registry, with a scratch HOME and XDG_RUNTIME_DIR; prints nothing of its own unless something
# does not come up. The command finds the session's folder in WRENLY_TEST_DESKTOP_DIR (what it
# starts there with scripts/lib/sandbox.sh is stopped with the rest).
#
#   tests/wayland/headless-sway.sh COMMAND...   COMMAND's exit status
#
# sway refuses to run as root, and the session bus only lets in its own user, so everything runs
# as an unprivileged test user made here (root is needed for that), in mount and network
# namespaces of its own: the compositor and its clients see a private /tmp and nothing of the
# host's sessions.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
user=wrenly-wayland-test
uid=4243

case "${1:-}" in
  --in-namespace)
    shift
    mount -t tmpfs -o mode=1777 tmpfs /tmp
    # XWayland takes the lowest free display: inside this /tmp that is :0.
    mkdir -m 1777 /tmp/.X11-unix
    ip link set lo up  # the loopback services of the tests
    gid=$(id -g "$user")
    install -d -m 0700 -o "$uid" -g "$gid" /tmp/session
    exec setpriv --reuid="$uid" --regid="$gid" --clear-groups "$0" --as-user "$@"
    ;;
  --as-user)
    shift
    # shellcheck source=../../scripts/lib/sandbox.sh
    source "$here/../../scripts/lib/sandbox.sh"
    sandbox_begin /tmp/session
    trap sandbox_stop EXIT
    sandbox_start_session_bus
    printf '%s\n' 'xwayland enable' 'output HEADLESS-1 resolution 1280x800 position 0 0' \
      >"$sandbox_dir/sway.conf"
    export SWAYSOCK="$XDG_RUNTIME_DIR/sway.sock"
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
      sandbox_launch sway sway -c "$sandbox_dir/sway.conf"
    sandbox_wait 200 swaymsg -t get_version || sandbox_fail "sway did not start"
    export WAYLAND_DISPLAY=wayland-1 DISPLAY=:0 WRENLY_TEST_DESKTOP_DIR=$sandbox_dir
    export GDK_BACKEND=wayland QT_QPA_PLATFORM=wayland QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    # Services the bus starts on demand get the bus's environment, not ours.
    dbus-update-activation-environment WAYLAND_DISPLAY DISPLAY SWAYSOCK XDG_RUNTIME_DIR \
      GDK_BACKEND QT_QPA_PLATFORM
    sandbox_start_accessibility
    status=0
    "$@" || status=$?
    exit "$status"
    ;;
esac

[[ $(id -u) -eq 0 ]] || { echo "headless-sway: must run as root to make the test user" >&2; exit 1; }
id -u "$user" >/dev/null 2>&1 ||
  useradd --system --no-create-home --uid "$uid" --user-group --home-dir /nonexistent \
    --shell /usr/sbin/nologin "$user"
exec unshare --mount --net --fork --kill-child "$0" --in-namespace "$@"
