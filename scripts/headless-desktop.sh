#!/usr/bin/env bash
# A private headless X11 desktop for tests and end-to-end runs: Xvfb, openbox, a session bus,
# the accessibility bus and registry, with a scratch HOME and XDG_RUNTIME_DIR.
#
#   scripts/headless-desktop.sh start DIR      start it; DIR/env holds the variables to source
#   scripts/headless-desktop.sh stop DIR       stop everything it started (by PID), remove DIR
#   scripts/headless-desktop.sh run CMD...     start, run CMD inside, stop; CMD's exit status
#
# Display numbers :41 to :49 only (WRENLY_DISPLAYS="FIRST LAST" picks another range); the first
# free one is taken.
set -euo pipefail

wait_for() {  # wait_for TRIES COMMAND...: retry every 50 ms
  local tries=$1
  shift
  for _ in $(seq "$tries"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  return 1
}

launch() {  # launch NAME COMMAND...: start in the background, record its PID
  local name=$1
  shift
  "$@" >>"$dir/$name.log" 2>&1 </dev/null &
  echo "$!" >>"$dir/pids"
}

start() {
  dir=$1
  mkdir -p "$dir"
  local display=""
  local range=(${WRENLY_DISPLAYS:-41 49})
  for n in $(seq "${range[0]}" "${range[1]}"); do
    if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then display=":$n"; break; fi
  done
  if [[ -z $display ]]; then
    echo "headless-desktop: displays :${range[0]} to :${range[1]} are all taken" >&2
    return 1
  fi

  export HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/home/.config"
  export XDG_DATA_HOME="$dir/home/.local/share" XDG_CACHE_HOME="$dir/home/.cache"
  export XDG_STATE_HOME="$dir/home/.local/state"
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME"
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  export DISPLAY=$display GDK_BACKEND=x11 GSETTINGS_BACKEND=memory
  unset WAYLAND_DISPLAY AT_SPI_BUS_ADDRESS NO_AT_BRIDGE SESSION_MANAGER
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus"
  : >"$dir/pids"

  launch xvfb Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset
  wait_for 200 xdpyinfo -display "$display" || { echo "headless-desktop: Xvfb did not start" >&2; return 1; }
  launch dbus dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS"
  wait_for 200 test -S "$dir/bus" || { echo "headless-desktop: no session bus" >&2; return 1; }
  launch openbox openbox --sm-disable
  wait_for 200 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    { echo "headless-desktop: openbox did not start" >&2; return 1; }
  launch a11y-bus /usr/libexec/at-spi-bus-launcher --launch-immediately --a11y=1
  wait_for 200 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus.GetAddress || { echo "headless-desktop: no accessibility bus" >&2; return 1; }
  launch registry /usr/libexec/at-spi2-registryd --use-gnome-session=false
  {
    for name in HOME XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME \
      DISPLAY GDK_BACKEND GSETTINGS_BACKEND DBUS_SESSION_BUS_ADDRESS; do
      printf 'export %s=%q\n' "$name" "${!name}"
    done
    echo "unset WAYLAND_DISPLAY AT_SPI_BUS_ADDRESS NO_AT_BRIDGE SESSION_MANAGER"
  } >"$dir/env"
}

stop() {
  dir=$1
  [[ -f $dir/pids ]] || return 0
  local pids=()
  mapfile -t pids < <(tac "$dir/pids")
  # The bus launcher's own bus daemon is its child.
  for pid in "${pids[@]}"; do
    mapfile -t -O "${#pids[@]}" pids < <(pgrep -P "$pid" 2>/dev/null || true)
  done
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "$pid" 2>/dev/null || true
  done
  rm -rf "$dir"
}

case "${1:-}" in
  start) start "$2" ;;
  stop) stop "$2" ;;
  run)
    shift
    scratch=$(mktemp -d /tmp/wrenly-desktop.XXXXXX)
    trap 'stop "$scratch"' EXIT
    start "$scratch" || { cat "$scratch"/*.log >&2 || true; exit 1; }
    status=0
    (source "$scratch/env" && export WRENLY_TEST_DESKTOP_DIR="$scratch" && "$@") || status=$?
    exit "$status"
    ;;
  *)
    echo "usage: $0 start DIR | stop DIR | run COMMAND..." >&2
    exit 2
    ;;
esac
