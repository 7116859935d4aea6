#!/usr/bin/env bash
# Builds both Windows programs (32-bit for users, 64-bit) and packs the 32-bit
# one for users into dist/: a zip holding sorvane.exe, and an installer.
#
#   bash tools/build-windows.sh        (after tools/setup.sh has installed the tools)
set -euo pipefail
cd "$(dirname "$0")/.."
version=1.0.0

for arch in i686 x86_64; do
  dir=build-win64
  [ "$arch" = i686 ] && dir=build-win32
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$arch-w64-mingw32.cmake" >/dev/null
  ninja -C "$dir" sorvane
done

# The shipped program: the 32-bit build without its debugging information.
sh tests/win32/e2e/check-program.sh build-win32/sorvane.exe
rm -rf dist/sorvane
mkdir -p dist/sorvane
i686-w64-mingw32-strip -o dist/sorvane/sorvane.exe build-win32/sorvane.exe
zip_file=dist/sorvane-$version-win32.zip
rm -f "$zip_file"
(cd dist && zip -q -9 -r "$(basename "$zip_file")" sorvane)
echo "$zip_file"

if command -v makensis >/dev/null 2>&1; then
  installer=dist/sorvane-$version-win32-setup.exe
  makensis -V2 -DVERSION="$version" -DPROGRAM="$PWD/dist/sorvane/sorvane.exe" \
    -DOUTFILE="$PWD/$installer" src/platform/win32/resources/installer.nsi
  echo "$installer"
fi
