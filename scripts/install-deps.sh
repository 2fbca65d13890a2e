#!/bin/sh
# Installs every Debian package the project needs to build, test and run.
# Idempotent: packages already present are skipped without touching apt.
set -eu

PACKAGES="
  build-essential cmake ninja-build pkg-config ccache git
  clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libboost-filesystem-dev libboost-thread-dev
  libutfcpp-dev
  libopenjp2-7-dev libopenjp2-tools libpng-dev libjpeg62-turbo-dev
  libfreetype-dev fonts-dejavu-core
  libx11-dev libxext-dev libgl-dev libegl-dev libglx-dev libglu1-mesa-dev
  libgl1-mesa-dri libegl-mesa0 libglx-mesa0
  xvfb xauth x11-utils xdotool
  xscreensaver xscreensaver-gl
  libwayland-dev libwayland-bin wayland-protocols libxkbcommon-dev
  sway swayidle weston grim
  xsecurelock mate-screensaver desktop-file-utils dbus-daemon dbus-bin x11-apps
"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -z "$missing" ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing
