#!/bin/sh
# The shipped program as a file: a large-address-aware GUI executable for its
# processor that needs nothing beyond the DLLs every Windows has, with its
# manifest, version record and icon.
#
#   check-program.sh path/to/sorvane.exe
set -eu
exe=$1
fail=0
complain() { echo "check-program: $*" >&2; fail=1; }

kind=$(file -b "$exe")
case "$kind" in
  "PE32 executable (GUI) Intel 80386"*) objdump=i686-w64-mingw32-objdump ;;
  "PE32+ executable (GUI) x86-64"*) objdump=x86_64-w64-mingw32-objdump ;;
  *) complain "not a Windows GUI executable: $kind"; exit 1 ;;
esac
echo "file: $kind"

# Imports: system DLLs only. The C and C++ runtimes and the thread library are
# linked in; a lib*.dll here would be missing on the user's machine.
imports=$($objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo "imports:" $imports
for dll in $imports; do
  case $(echo "$dll" | tr 'A-Z' 'a-z') in
    kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | comdlg32.dll | shell32.dll | \
      ole32.dll | oleaut32.dll | shlwapi.dll | advapi32.dll | msvcrt.dll | ws2_32.dll) ;;
    *) complain "imports a DLL that is not part of Windows: $dll" ;;
  esac
done
$objdump -p "$exe" | grep -q "^Subsystem.*(Windows GUI)" || complain "not the GUI subsystem"

# Large-address-aware (IMAGE_FILE_LARGE_ADDRESS_AWARE, 0x20 in the file
# header's characteristics): on 64-bit Windows the 32-bit program then gets
# 4 GB of address space, not 2 GB, for a long run of a memory-hungry engine.
# Read from the header itself, at e_lfanew + 4 (signature) + 18.
pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
characteristics=$(od -An -tu2 -j$((pe + 22)) -N2 "$exe" | tr -d ' ')
if [ $((characteristics & 0x20)) -ne 0 ]; then
  echo "large address aware: yes"
else
  complain "not large-address-aware (characteristics $characteristics)"
fi

# Resources: the common-controls 6 manifest with no DPI awareness, the version
# record (its strings are UTF-16) and the icon.
has_text() { LC_ALL=C grep -c -a -F "$1" "$exe" >/dev/null; }
has_text "Microsoft.Windows.Common-Controls" || complain "no common controls 6 manifest"
if has_text "dpiAware" || has_text "dpiAwareness"; then complain "the manifest declares DPI awareness"; fi
strings=${objdump%objdump}strings
$strings -el "$exe" | grep -q "^OriginalFilename$" || complain "no version record"
$strings -el "$exe" | grep -q "^sorvane.exe$" || complain "the version record does not name sorvane.exe"
$objdump -h "$exe" | grep -q '\.rsrc' || complain "no resource section"

[ "$fail" = 0 ] && echo "check-program: ok"
exit "$fail"
