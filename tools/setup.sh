#!/usr/bin/env bash
# Installs what Sorvane needs on Debian 12 and configures and builds it, for
# the parts named (CMake presets, see CMakePresets.json):
#
#   bash tools/setup.sh linux            the Linux program and its tests, in build/
#   bash tools/setup.sh win32 win64      the Windows programs, in build-win32/ and build-win64/
#   bash tools/setup.sh run              only what running the Linux program needs
#
# Safe to run again: it installs only what is missing and builds only what
# changed. Messages go to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
exec 3>&1 1>&2

run_packages=(
  cmake ninja-build g++ pkg-config libgtest-dev
  # the desktop layer, and the PNG and JPEG encoders
  libgtk-3-dev libwebkit2gtk-4.1-dev libpng-dev libjpeg62-turbo-dev
  # the DevTools engine's messages (header-only; the Windows builds take a copy)
  nlohmann-json3-dev
  # a CJK font for the Chinese captions
  fonts-wqy-zenhei
  # a virtual display where there is none (a server, cron)
  xvfb xauth x11-utils dbus
)
test_packages=(
  # accessibility bus and input for the tests
  xdotool dbus-x11 at-spi2-core python3 python3-gi gir1.2-atspi-2.0 gir1.2-gtk-3.0
  # pictures of the window, and fault tests on a small disk
  imagemagick util-linux
  # a real browser, headless, for the gallery page, driven through its DevTools socket
  chromium python3-websocket
  # a locale with a decimal comma, for the conversions that must ignore it
  locales
)
windows_packages=(
  # the cross compilers (the -posix ones have std::thread), Wine for both
  # kinds of program, a Chinese locale for code page 936, and packaging
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 wine32:i386
  locales file zip nsis
)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

wanted=() presets=()
for part in "${@:-linux}"; do
  case "$part" in
    run) wanted+=("${run_packages[@]}"); presets+=(run) ;;
    linux) wanted+=("${run_packages[@]}" "${test_packages[@]}"); presets+=(linux) ;;
    win32 | win64) wanted+=("${windows_packages[@]}"); presets+=("$part") ;;
    *) echo "setup.sh: unknown part: $part (linux, run, win32, win64)"; exit 2 ;;
  esac
done

# A mirror in the middle of a sync can fail one index for a while: try the
# update again, then go on with the indexes there are. Whatever cannot be
# installed without the missing one is dealt with below.
update_indexes() {
  local try
  for try in 1 2 3; do
    $SUDO apt-get update && return 0
    echo "apt-get update failed (try $try of 3)"
    [ "$try" -lt 3 ] && sleep $((try * 10))
  done
  echo "Going on with the package indexes that could be read"
}

# 32-bit Wine comes from the i386 architecture.
if printf '%s\n' "${wanted[@]}" | grep -q ':i386$' &&
  ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture for 32-bit Wine"
  $SUDO dpkg --add-architecture i386
  updated=1
  update_indexes
fi

missing=() missing32=()
for p in $(printf '%s\n' "${wanted[@]}" | sort -u); do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" && continue
  case "$p" in *:i386) missing32+=("$p") ;; *) missing+=("$p") ;; esac
done
install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "$@"; }
if [ ${#missing[@]} -gt 0 ] || [ ${#missing32[@]} -gt 0 ]; then
  [ -n "${updated:-}" ] || update_indexes
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  install "${missing[@]}"
fi
# The 32-bit packages are for running the 32-bit build's tests alone: without
# them that build is still made, and its tests are skipped with the reason.
rm -f build-win32/wine32-missing
if [ ${#missing32[@]} -gt 0 ]; then
  echo "Installing: ${missing32[*]}"
  if ! install "${missing32[@]}"; then
    mkdir -p build-win32
    echo "${missing32[*]} could not be installed (an index of the package archive was unavailable)" \
      > build-win32/wine32-missing
    echo "Going on without: $(cat build-win32/wine32-missing)"
  fi
fi

# Wine gives a program code page 936 only under a Chinese locale.
if printf '%s\n' "${presets[@]}" | grep -q '^win' &&
  ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  $SUDO localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

# The number conversions are tested under a locale that writes 2,5.
if printf '%s\n' "${presets[@]}" | grep -qx linux &&
  ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

for preset in $(printf '%s\n' "${presets[@]}" | sort -u); do
  if [ "$preset" = run ]; then
    # The program alone: its tests and benchmarks are built by the test command.
    cmake --preset linux >/dev/null
    cmake --build --preset linux --target sorvane
  else
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
  fi
done
