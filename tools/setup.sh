#!/usr/bin/env bash
# Installs what Sorvane needs to build, run and be tested on Debian 12, then
# configures and builds it into build/. Safe to run again: it installs only
# what is missing and builds only what changed.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  # build
  cmake ninja-build g++ pkg-config libgtest-dev
  # the desktop layer
  libgtk-3-dev libwebkit2gtk-4.1-dev
  # a CJK font for the Chinese captions
  fonts-wqy-zenhei
  # virtual display, accessibility bus and input for the tests
  xvfb xauth xdotool x11-utils dbus dbus-x11 at-spi2-core
  python3 python3-gi gir1.2-atspi-2.0 gir1.2-gtk-3.0
  # pictures of the window, and fault tests on a small disk
  imagemagick util-linux
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j"$(nproc)"
