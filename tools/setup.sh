#!/usr/bin/env bash
# Installs what Sorvane needs to build, run and be tested on Debian 12, then
# configures and builds it into build/. Safe to run again: it installs only
# what is missing and builds only what changed.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  # build
  cmake ninja-build g++ pkg-config libgtest-dev
  # the desktop layer, and the PNG and JPEG encoders
  libgtk-3-dev libwebkit2gtk-4.1-dev libpng-dev libjpeg62-turbo-dev
  # a CJK font for the Chinese captions
  fonts-wqy-zenhei
  # virtual display, accessibility bus and input for the tests
  xvfb xauth xdotool x11-utils dbus dbus-x11 at-spi2-core
  python3 python3-gi gir1.2-atspi-2.0 gir1.2-gtk-3.0
  # pictures of the window, and fault tests on a small disk
  imagemagick util-linux
  # Windows: the cross compilers (the -posix ones have std::thread), Wine for
  # both kinds of program, a Chinese locale for code page 936, and packaging
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 wine32:i386
  locales file zip nsis
)

# 32-bit Wine comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture for 32-bit Wine"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO dpkg --add-architecture i386
fi

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

# Wine gives a program code page 936 only under a Chinese locale.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j"$(nproc)"

# The Windows programs: 32-bit (the one users get) and 64-bit.
for arch in i686 x86_64; do
  dir=build-win64
  [ "$arch" = i686 ] && dir=build-win32
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$arch-w64-mingw32.cmake" >/dev/null
  ninja -C "$dir" -j"$(nproc)"
done
