#!/usr/bin/env bash
# Runs Korvane's windowless road on the built-in local setup: builds, starts the
# loopback analytics collector on the configured port, runs `Korvane.exe /S`
# under Wine and shows its exit code and the analytics hits it sent.
#   scripts/demo.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
case "$build" in /*) ;; *) build=$PWD/$build ;; esac

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target Korvane
port=$(sed -n 's/^KV_ANALYTICS_PORT:STRING=//p' "$build/CMakeCache.txt")

work=$(mktemp -d)
trap 'kill "$collector" 2>/dev/null || true; rm -rf "$work"' EXIT
KV_COLLECTOR_FIXED_PORT=$port python3 "$root/tests/servers/collector.py" --dir "$work" > "$work/port" &
collector=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done

status=0
"$build/wine-run" "$build/installer/cpp_custominstaller/startup/Korvane.exe" /S || status=$?
echo "Korvane.exe /S exited with $status"
echo "Analytics hits received on 127.0.0.1:$port:"
python3 - "$work/hits.jsonl" <<'PY'
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
