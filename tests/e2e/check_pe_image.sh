#!/bin/sh
# Checks that a program is a stand-alone 32-bit Windows GUI executable: it
# imports only DLLs that come with Windows (no compiler runtime DLLs).
#   check_pe_image.sh PROGRAM.exe
set -eu
exe=$1
headers=$(i686-w64-mingw32-objdump -p "$exe")
status=0

echo "$headers" | grep -q 'file format pei-i386' || { echo "not a 32-bit PE image: $exe"; status=1; }
echo "$headers" | grep -Eq '^Subsystem[[:space:]]+00000002' || { echo "not the GUI subsystem"; status=1; }

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
[ $status -eq 0 ] && echo "ok: $(echo $dlls)"
exit $status
