# shellcheck shell=bash
# A private desktop session in a scratch folder, for tests, the demonstration and measurements.
# Source it, then start the parts needed, in this order:
#
#   sandbox_begin DIR         scratch HOME and XDG folders under DIR; every later part logs to
#                             DIR/NAME.log and notes its PID in DIR/pids
#   sandbox_start_x [WxHxD]   Xvfb on a display it picks itself (-displayfd); exports DISPLAY
#   sandbox_start_session_bus a session bus at DIR/bus
#   sandbox_start_window_manager
#   sandbox_start_accessibility  the accessibility bus and its registry (needs the session bus)
#   sandbox_start_sound [NAME:RATE:CHANNELS...]
#                             a sound server at DIR/pulse with a null sink and a pipe source
#                             per argument, fed through DIR/NAME.fifo; the first is the default
#                             source (without any, the sink's silent monitor is)
#   sandbox_start_keyring     an unlocked login keyring, as after a desktop login (needs the bus)
#   sandbox_start_tray
#   sandbox_write_env         DIR/env: the variables above, for another shell to source
#   sandbox_stop              stop everything started, by PID, newest first; remove DIR
#
# Scripts set `trap sandbox_stop EXIT` before starting anything, so a failure leaves nothing
# behind. Parts return 1, with a line on stderr, when they do not come up.

sandbox_log() { printf '[%s] %s\n' "$(date +%T)" "$*" >&2; }

sandbox_fail() {
  sandbox_log "sandbox: $*"
  [[ -n ${sandbox_dir:-} ]] && tail -n 5 "$sandbox_dir"/*.log >&2 2>/dev/null
  return 1
}

sandbox_wait() {  # sandbox_wait TRIES COMMAND...: retry every 50 ms
  local tries=$1
  shift
  for _ in $(seq "$tries"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  return 1
}

sandbox_launch() {  # sandbox_launch NAME COMMAND...: in the background, logged, PID noted
  local name=$1
  shift
  "$@" >>"$sandbox_dir/$name.log" 2>&1 </dev/null &
  echo "$!" >>"$sandbox_dir/pids"
  echo "$!" >"$sandbox_dir/$name.pid"
}

sandbox_begin() {
  sandbox_dir=$1
  mkdir -p "$sandbox_dir"
  : >>"$sandbox_dir/pids"
  export HOME="$sandbox_dir/home" XDG_RUNTIME_DIR="$sandbox_dir/run"
  export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
  export XDG_CACHE_HOME="$HOME/.cache" XDG_STATE_HOME="$HOME/.local/state"
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  # Nothing of the caller's own session may leak in.
  unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS NO_AT_BRIDGE
  unset SESSION_MANAGER PULSE_SERVER
  export GDK_BACKEND=x11 GSETTINGS_BACKEND=memory
}

sandbox_start_x() {
  # Xvfb takes the first free display and writes its number once it accepts clients.
  "Xvfb" -displayfd 3 -screen 0 "${1:-1280x1024x24}" -nolisten tcp -noreset \
    3>"$sandbox_dir/display" >>"$sandbox_dir/xvfb.log" 2>&1 </dev/null &
  echo "$!" >>"$sandbox_dir/pids"
  sandbox_wait 200 grep -q '^[0-9][0-9]*$' "$sandbox_dir/display" ||
    sandbox_fail "Xvfb did not start" || return 1
  DISPLAY=":$(cat "$sandbox_dir/display")"
  export DISPLAY
}

sandbox_start_session_bus() {
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$sandbox_dir/bus"
  sandbox_launch dbus dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS"
  sandbox_wait 200 test -S "$sandbox_dir/bus" || sandbox_fail "no session bus" || return 1
}

sandbox_start_window_manager() {
  sandbox_launch openbox openbox --sm-disable
  sandbox_wait 200 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    sandbox_fail "openbox did not start" || return 1
}

sandbox_start_accessibility() {
  sandbox_launch a11y-bus /usr/libexec/at-spi-bus-launcher --launch-immediately --a11y=1
  # Its name is awaited without a call to it: such a call has the session bus start the system's
  # launcher, which can take the name first and leave accessibility off.
  sandbox_wait 200 sh -c 'dbus-send --session --print-reply --dest=org.freedesktop.DBus \
    /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus | grep -q true' ||
    sandbox_fail "no accessibility bus" || return 1
  sandbox_wait 200 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus.GetAddress || sandbox_fail "no accessibility bus" || return 1
  sandbox_launch registry /usr/libexec/at-spi2-registryd --use-gnome-session=false
}

sandbox_start_sound() {
  local config="$sandbox_dir/sound.pa" default="speakers.monitor" source name rate channels
  {
    echo "load-module module-native-protocol-unix socket=$sandbox_dir/pulse"
    echo "load-module module-null-sink sink_name=speakers"
    echo "set-default-sink speakers"
    for source in "$@"; do
      IFS=: read -r name rate channels <<<"$source"
      echo "load-module module-pipe-source source_name=$name file=$sandbox_dir/$name.fifo" \
        "format=s16le rate=$rate channels=$channels"
      [[ $default == speakers.monitor ]] && default=$name
    done
    echo "set-default-source $default"
  } >"$config"
  sandbox_launch pulseaudio pulseaudio -n -F "$config" --daemonize=no --exit-idle-time=-1 \
    --realtime=no --high-priority=no --disallow-exit
  export PULSE_SERVER="unix:$sandbox_dir/pulse"
  sandbox_wait 200 timeout 5 pactl info || sandbox_fail "the sound server did not start" ||
    return 1
}

sandbox_start_keyring() {
  sandbox_launch keyring sh -c 'printf "\n" | exec gnome-keyring-daemon --foreground --unlock \
    --components=secrets'
}

sandbox_start_tray() {
  sandbox_launch trayer trayer --edge bottom --align right --widthtype request --height 24
}

sandbox_write_env() {
  local name
  {
    for name in HOME XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME \
      GDK_BACKEND GSETTINGS_BACKEND DISPLAY DBUS_SESSION_BUS_ADDRESS PULSE_SERVER; do
      [[ -n ${!name:-} ]] && printf 'export %s=%q\n' "$name" "${!name}"
    done
    echo "unset WAYLAND_DISPLAY AT_SPI_BUS_ADDRESS NO_AT_BRIDGE SESSION_MANAGER"
  } >"$sandbox_dir/env"
}

sandbox_stop() {
  local dir=${1:-${sandbox_dir:-}}
  [[ -n $dir && -f $dir/pids ]] || return 0
  local pids=() pid
  mapfile -t pids < <(tac "$dir/pids")
  # Children too: the accessibility bus launcher's own bus daemon, a program's helpers.
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

# sandbox_desktop DIR: what the desktop tests need: X, a session bus, a window manager and the
# accessibility bus, with DIR/env written.
sandbox_desktop() {
  sandbox_begin "$1"
  sandbox_start_x 1280x1024x24 || return 1
  sandbox_start_session_bus || return 1
  sandbox_start_window_manager || return 1
  sandbox_start_accessibility || return 1
  sandbox_write_env
}
