#!/usr/bin/env bash
# Runs Korvane's windowless road end to end on the built-in local setup:
# builds Korvane and a signed test installer of the product, starts the
# loopback component service and analytics collector on their configured ports
# and a file server that offers the installer, runs `Korvane.exe /S` under Wine
# and shows its exit code, what got installed and the analytics hits it sent.
#   scripts/demo.sh [BUILD_DIR]
# Runs the 32-bit build where this host runs 32-bit programs, else the 64-bit
# build of the same code (with a 64-bit test installer); KV_ARCH=i686|x86_64
# chooses.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
case "$build" in /*) ;; *) build=$PWD/$build ;; esac
source "$root/tools/build-arch.sh"
kv_choose_arch
echo "demo.sh: running the $KV_ARCH build of Korvane.exe from $build"
kv_configure "$build" >/dev/null
cmake --build "$build" --target Korvane kv_test_installers kv_trust_test_ca
setting() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
analytics_port=$(setting KV_ANALYTICS_PORT)
component_port=$(setting KV_COMPONENT_SERVICE_URL | sed -n 's#^http://127\.0\.0\.1:\([0-9]*\)/component$#\1#p')
if [ -z "$component_port" ]; then
  echo "demo.sh: KV_COMPONENT_SERVICE_URL is not a loopback address; the demo needs the local setup" >&2
  exit 2
fi

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
start_server() { # NAME [PORT]
  mkdir -p "$work/$1"
  python3 "$root/tests/servers/$1.py" --dir "$work/$1" ${2:+--port "$2"} > "$work/$1.port" 2> "$work/$1.log" &
  pids+=($!)
  for _ in $(seq 50); do [ -s "$work/$1.port" ] && return 0; sleep 0.1; done
  echo "demo.sh: the $1 server did not start:" >&2
  cat "$work/$1.log" >&2
  exit 1
}
start_server collector "$analytics_port"
start_server component "$component_port"
start_server files
files_port=$(sed -n 's/^PORT //p' "$work/files.port")

installer="$build/tests/nsis/VellixPDFProSetup-exit0.exe"
cp "$installer" "$work/files/VellixPDFProSetup.exe"
md5=$(md5sum "$installer" | cut -d' ' -f1)
printf '[{"id":"QX_PDF","version":"7.0.0.1125","url":"http://127.0.0.1:%s/VellixPDFProSetup.exe","md5":"%s"}]' \
  "$files_port" "$md5" > "$work/component/answer.body"

# A prefix of its own: what the demo installs must not change what the tests see.
export WINEPREFIX="$build/demo-wineprefix" WINEDEBUG=-all
"$build/wine-run" "$build/tests/signing/kv_trust_test_ca.exe"
export KV_NSIS_COMMAND_LINE_FILE='Z:'"${work//\//\\}"'\cmdline.txt'

status=0
"$build/wine-run" "$build/installer/cpp_custominstaller/startup/Korvane.exe" /S || status=$?
echo "Korvane.exe /S exited with $status"
echo "The installer it ran was started as:"
if [ -f "$work/cmdline.txt" ]; then
  iconv -f UTF-16 -t UTF-8 "$work/cmdline.txt" | sed 's/^/  /'; echo
else
  echo "  (not started)"
fi
echo "Installed product:"
# The test installer is of the same architecture: its key and folder are in that view.
view=32 program_files="Program Files (x86)"
[ "$KV_ARCH" = x86_64 ] && view=64 program_files="Program Files"
"$build/wine-run" reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Vellix PDF Pro' /reg:$view 2>/dev/null \
  | tr -d '\r' | grep -E 'DisplayName|DisplayVersion|InstallLocation' | sed 's/^ */  /' || echo "  (none)"
echo "Installed files:"
product="$WINEPREFIX/drive_c/$program_files/Vellix/Vellix PDF Pro"
if [ -d "$product" ]; then
  (cd "$product" && find . -type f | sed 's#^\./#  #' | sort)
else
  echo "  (none)"
fi
echo "Analytics hits received on 127.0.0.1:$analytics_port:"
python3 - "$work/collector/hits.jsonl" <<'PY'
import json, sys, os
path = sys.argv[1]
if not os.path.exists(path):
    print("  (none)")
    sys.exit(0)
for line in open(path):
    fields = dict(json.loads(line)["fields"])
    kind = fields.get("t", "?")
    what = fields.get("ea") or fields.get("exd") or fields.get("cd") or ""
    extra = " sc=" + fields["sc"] if "sc" in fields else ""
    print("  %-10s %s%s" % (kind, what, extra))
PY
exit "$status"
