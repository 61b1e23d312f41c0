#!/bin/sh
# Installs what a fresh Debian 12 machine lacks to build and test Ombrix.
set -eu
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
PACKAGES="build-essential cmake ninja-build pkg-config \
  qt6-base-dev qt6-websockets-dev qt6-svg-dev libgl-dev \
  libgtest-dev libgmock-dev procps dbus xvfb xauth xdotool \
  fuse3 libfuse3-dev util-linux \
  dpkg-dev debootstrap desktop-file-utils appstream \
  qt6-wayland weston at-spi2-core python3-pyatspi gir1.2-gtk-3.0 xdotool \
  clang libclang-rt-dev llvm clang-format-15 \
  gnome-shell gnome-shell-extension-appindicator xwayland fonts-cantarell adwaita-icon-theme \
  libxcb1-dev xfce4-panel xfconf xfwm4 xdotool"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# Node may come from outside Debian (its npm then conflicts with Debian's): ask for the commands.
command -v npm >/dev/null 2>&1 || missing="$missing npm"
command -v file >/dev/null 2>&1 || missing="$missing file"
if [ -n "$missing" ]; then
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
fi
# A genuine Dart VM (dart-sass's) for the live sampling test; without it that one test is skipped.
sass="$(cd "$(dirname "$0")/.." && pwd)/build/sass"
if [ ! -x "$sass/node_modules/sass-embedded-linux-x64/dart-sass/src/dart" ]; then
  npm install --prefix "$sass" --no-audit --no-fund --silent sass-embedded-linux-x64@1.108.2 ||
    echo "install-deps: no Dart VM from npm; the test that needs one will be skipped" >&2
fi
