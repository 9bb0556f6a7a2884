#!/usr/bin/env bash
# Runs the libsecret store tests against services of their own: a keyring daemon on a private
# session bus, a private bus where no Secret Service exists, and no session bus at all.
set -euo pipefail
binary=$1
# shellcheck source=../../../scripts/lib/sandbox.sh
source "$(dirname "$0")/../../../scripts/lib/sandbox.sh"
trap sandbox_stop EXIT
# A scratch home without the caller's display or buses (scripts/lib/sandbox.sh).
sandbox_begin "$(mktemp -d /tmp/wrenly-secret.XXXXXX)"
scratch=$sandbox_dir

# A keyring unlocked with an empty password, started unattended; it ends with its bus.
dbus-run-session -- bash -c '
  printf "\n" | gnome-keyring-daemon --daemonize --unlock --components=secrets >/dev/null
  exec "$0" --gtest_filter="WithKeyring.*"' "$binary"

# A bus that can start nothing, so no one owns the Secret Service name.
cat >"$scratch/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$scratch</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
dbus-run-session --config-file="$scratch/bus.conf" -- "$binary" \
  --gtest_filter="WithoutSecretService.*"

# No session bus at all.
env -u DBUS_SESSION_BUS_ADDRESS "$binary" --gtest_filter="WithoutSecretService.*"
