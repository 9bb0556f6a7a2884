#!/usr/bin/env bash
# Installs every Debian 12 package the project needs. Safe to run again.
#   scripts/install-deps.sh          build and run the app
#   scripts/install-deps.sh --test   also what the tests start (keyring, sound server, X server,
#                                    the browser and its driver)
set -euo pipefail

build_packages=(
  build-essential cmake ninja-build pkg-config clang clang-format
  libboost1.81-dev libssl-dev ca-certificates libcurl4-openssl-dev libicu-dev libsoxr-dev
  libpulse-dev libsecret-1-dev libatspi2.0-dev libglib2.0-dev
  libx11-dev libx11-xcb-dev libxi-dev libxtst-dev qt6-base-dev
  libpocketsphinx-dev pocketsphinx-en-us libopencc-dev libsqlite3-dev
  libwayland-dev libwayland-bin libxkbcommon-dev wayland-protocols
)
test_packages=(
  googletest libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev openssl
  dbus dbus-x11 gnome-keyring pulseaudio pulseaudio-utils pocketsphinx-testdata sox flite
  xvfb openbox at-spi2-core x11-utils python3-gi gir1.2-gtk-3.0 xauth
  trayer fonts-wqy-microhei mousepad xdotool gir1.2-atspi-2.0 curl
  chromium chromium-driver libnss3-tools
  sway xwayland wl-clipboard featherpad qtwayland5 foot util-linux iproute2 grim wtype
  kwrite firefox-esr python3-pyqt6 qt6-wayland gnome-text-editor
  mutter kwin-wayland xdg-desktop-portal xdg-desktop-portal-gnome xdg-desktop-portal-kde
)

packages=("${build_packages[@]}")
if [[ "${1:-}" == "--test" ]]; then
  packages+=("${test_packages[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  echo "install-deps: all packages present"
  exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
