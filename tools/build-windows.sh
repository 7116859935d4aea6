#!/usr/bin/env bash
# Builds both Windows programs (32-bit for users, 64-bit) and packs the 32-bit
# one for users into dist/: a zip holding sorvane.exe, and an installer.
#
#   bash tools/build-windows.sh        (installs the tools it needs first)
set -euo pipefail
cd "$(dirname "$0")/.."
version=1.0.0

bash tools/setup.sh win32 win64

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
