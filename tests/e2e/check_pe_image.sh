#!/bin/sh
# Checks that a program is a stand-alone Windows GUI executable of the given
# architecture (i686: the shipped 32-bit programs; x86_64: the 64-bit build):
# large-address-aware, importing only DLLs that come with Windows (no compiler
# runtime DLLs), carrying its manifest and version block and whatever else the
# options name (tests/e2e/pe_resources.py).
#   check_pe_image.sh PROGRAM.exe i686|x86_64 [--page RESOURCES.json] [--dialog ID]...
set -eu
exe=$1
arch=$2
shift 2
case "$arch" in
  i686) format=pei-i386 ;;
  x86_64) format=pei-x86-64 ;;
  *) echo "unknown architecture: $arch"; exit 2 ;;
esac
headers=$(x86_64-w64-mingw32-objdump -p "$exe")
status=0

echo "$headers" | grep -q "file format $format\$" || { echo "not a $arch PE image: $exe"; status=1; }
echo "$headers" | grep -Eq '^Subsystem[[:space:]]+00000002' || { echo "not the GUI subsystem"; status=1; }
characteristics=$(echo "$headers" | sed -n 's/^Characteristics 0x\([0-9a-f]*\)$/\1/p')
[ $((0x${characteristics:-0} & 0x20)) -ne 0 ] || { echo "not large-address-aware"; status=1; }

allowed=" advapi32.dll bcrypt.dll comctl32.dll crypt32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll \
oleaut32.dll rpcrt4.dll shell32.dll shlwapi.dll urlmon.dll user32.dll version.dll winhttp.dll wininet.dll \
wintrust.dll ws2_32.dll wtsapi32.dll "
dlls=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$dlls" ] || { echo "no imports found"; status=1; }
echo "$dlls" | grep -qx 'kernel32.dll' || { echo "kernel32.dll is not imported"; status=1; }
for dll in $dlls; do
  case "$allowed" in
    *" $dll "*) ;;
    *) echo "imports a DLL that does not come with Windows: $dll"; status=1 ;;
  esac
done
python3 "$(dirname "$0")/pe_resources.py" "$exe" "$@" || status=1
[ $status -eq 0 ] && echo "ok: $arch large-address-aware GUI program importing $(echo $dlls)"
exit $status
