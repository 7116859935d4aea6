#!/usr/bin/env bash
# Sets up, builds and runs every test: unit, simulated program, the GTK layer
# with the real engine under Xvfb, and the program driven end to end; then the
# same for the Windows builds under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh linux win32 win64
status=0
ctest --test-dir build --output-on-failure --timeout 900 "$@" || status=$?

# Windows: both builds under Wine, each in a fresh private prefix. It is made
# here, before CTest lists the tests through it, so that a prefix Wine cannot
# make is reported as such, with its log. Where this machine cannot run 32-bit
# programs (no 32-bit support in the kernel), the 32-bit build's tests report
# skipped.
for dir in build-win64 build-win32; do
  if [ -d "$dir/wine-prefix" ]; then
    WINEPREFIX="$PWD/$dir/wine-prefix" /usr/lib/wine/wineserver64 -k 2>/dev/null || true
    rm -rf "$dir/wine-prefix"
  fi
  if tests/win32/wine-run --can-run "$dir/tests/services_tests.exe"; then
    tests/win32/wine-run --prefix "$dir/wine-prefix" --make-prefix >/dev/null || status=1
  fi
  ctest --test-dir "$dir" --output-on-failure --timeout 900 "$@" || status=$?
done
if [ -f build-win32/wine32-missing ]; then
  echo "The 32-bit Windows suite was skipped: $(cat build-win32/wine32-missing)."
elif [ -d build-win32 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "The 32-bit Windows suite was skipped: this machine cannot run 32-bit programs."
fi
exit "$status"
