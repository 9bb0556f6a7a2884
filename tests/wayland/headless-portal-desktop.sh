#!/usr/bin/env bash
# Runs a command inside a private headless KDE (kwin) or GNOME (mutter) Wayland session with its
# desktop portal: a session bus, the compositor without input devices, the accessibility bus and
# registry, the portal backend of that desktop and the portal itself, with a scratch HOME and
# XDG_RUNTIME_DIR. The command finds the session's folder in WRENLY_TEST_DESKTOP_DIR.
#
#   tests/wayland/headless-portal-desktop.sh kde|gnome COMMAND...   COMMAND's exit status
#
# As for sway (headless-sway.sh): an unprivileged test user in mount and network namespaces of
# its own, since the session bus only lets in its own user.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
user=wrenly-wayland-test
uid=4243

case "${1:-}" in
  --in-namespace)
    shift
    mount -t tmpfs -o mode=1777 tmpfs /tmp
    ip link set lo up
    gid=$(id -g "$user")
    install -d -m 0700 -o "$uid" -g "$gid" /tmp/session
    exec setpriv --reuid="$uid" --regid="$gid" --clear-groups "$0" --as-user "$@"
    ;;
  --as-user)
    shift
    desktop=$1
    shift
    # shellcheck source=../../scripts/lib/sandbox.sh
    source "$here/../../scripts/lib/sandbox.sh"
    sandbox_begin /tmp/session
    trap sandbox_stop EXIT
    export XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-portal-test
    export GDK_BACKEND=wayland QT_QPA_PLATFORM=wayland QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    if [[ $desktop == kde ]]; then
      export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
    else
      export XDG_CURRENT_DESKTOP=GNOME GSK_RENDERER=cairo
    fi
    # The bus starts services with its own environment: it must hold the desktop's name.
    sandbox_start_session_bus
    if [[ $desktop == kde ]]; then
      # The installed binary carries a file capability this sandbox may not grant, so exec
      # fails; a copy carries none.
      mkdir -p "$sandbox_dir/bin"
      cp /usr/bin/kwin_wayland "$sandbox_dir/bin/"
      sandbox_launch kwin "$sandbox_dir/bin/kwin_wayland" --virtual --no-lockscreen \
        --socket "$WAYLAND_DISPLAY" --width 1280 --height 800
      backend=/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde
    else
      sandbox_launch mutter mutter --headless --wayland --no-x11 --virtual-monitor 1280x800 \
        --wayland-display="$WAYLAND_DISPLAY"
      backend=/usr/libexec/xdg-desktop-portal-gnome
    fi
    sandbox_wait 200 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ||
      sandbox_fail "the $desktop compositor did not start"
    export WRENLY_TEST_DESKTOP_DIR=$sandbox_dir
    dbus-update-activation-environment WAYLAND_DISPLAY XDG_RUNTIME_DIR XDG_CURRENT_DESKTOP \
      XDG_SESSION_TYPE GDK_BACKEND QT_QPA_PLATFORM GSK_RENDERER KDE_FULL_SESSION \
      KDE_SESSION_VERSION 2>/dev/null || true
    sandbox_start_accessibility
    sandbox_launch portal-backend "$backend"
    sandbox_launch portal /usr/libexec/xdg-desktop-portal
    sandbox_wait 200 gdbus call --session --dest org.freedesktop.portal.Desktop \
      --object-path /org/freedesktop/portal/desktop --method org.freedesktop.DBus.Properties.Get \
      org.freedesktop.portal.RemoteDesktop version || sandbox_fail "no remote desktop portal"
    status=0
    "$@" || status=$?
    exit "$status"
    ;;
esac

[[ $(id -u) -eq 0 ]] || {
  echo "headless-portal-desktop: must run as root to make the test user" >&2
  exit 1
}
id -u "$user" >/dev/null 2>&1 ||
  useradd --system --no-create-home --uid "$uid" --user-group --home-dir /nonexistent \
    --shell /usr/sbin/nologin "$user"
exec unshare --mount --net --fork --kill-child "$0" --in-namespace "$@"
