#!/usr/bin/env bash
# Measures the downloader against curl on one file served over loopback.
#   scripts/bench-download.sh [BUILD_DIR] [SIZE_MB]
# Builds the kv_download_bench program in BUILD_DIR (default: build), serves a
# SIZE_MB (default 200) file with tests/servers/files.py, downloads it three
# times with curl and three times with CDownloader under Wine (without and with
# the MD5 check), and prints the best throughput of each and their ratio.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
case "$build" in /*) ;; *) build=$PWD/$build ;; esac
size_mb=${2:-200}
runs=3

cmake --build "$build" --target kv_download_bench >/dev/null
bench="$build/cxx/network/downloader/kv_download_bench.exe"

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$root/tools/wine-prefix" "$WINEPREFIX"

work=$(mktemp -d /tmp/kv-bench-XXXXXX)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/served"
head -c $((size_mb * 1024 * 1024)) /dev/urandom > "$work/served/payload.bin"
md5=$(md5sum "$work/served/payload.bin" | cut -d' ' -f1)
bytes=$(stat -c %s "$work/served/payload.bin")

python3 "$root/tests/servers/files.py" --dir "$work/served" > "$work/server.out" &
server=$!
for _ in $(seq 50); do grep -q PORT "$work/server.out" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/^PORT/ {print $2}' "$work/server.out")
url="http://127.0.0.1:$port/payload.bin"
target_win="Z:$(echo "$work/copy.bin" | tr / '\\')"

# Keep one wineserver up so that every run starts warm.
wineserver -p 60 </dev/null >/dev/null 2>&1 || true  # already running is fine
wine cmd /c exit </dev/null >/dev/null 2>&1

best() { sort -g | head -1; }
mbps() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", b / s / 1048576 }'; }

curl_times=()
for _ in $(seq $runs); do
  curl_times+=("$(curl -s -o "$work/copy.bin" -w '%{time_total}' "$url")")
  rm -f "$work/copy.bin"
done
curl_best=$(printf '%s\n' "${curl_times[@]}" | best)

run_downloader() {
  local times=() line
  for _ in $(seq $runs); do
    line=$(wine "$bench" "$url" "$target_win" "$@")
    case "$line" in status=0*) ;; *) echo "downloader failed: $line" >&2; exit 1 ;; esac
    times+=("$(echo "$line" | sed 's/.*seconds=//')")
    rm -f "$work/copy.bin"
  done
  printf '%s\n' "${times[@]}" | best
}
plain_best=$(run_downloader)
md5_best=$(run_downloader "$md5")

curl_rate=$(mbps "$bytes" "$curl_best")
plain_rate=$(mbps "$bytes" "$plain_best")
md5_rate=$(mbps "$bytes" "$md5_best")
echo "file: $size_mb MiB over loopback, best of $runs runs each"
echo "curl:                       ${curl_best} s  ${curl_rate} MiB/s"
echo "CDownloader (no MD5):       ${plain_best} s  ${plain_rate} MiB/s"
echo "CDownloader (MD5 verified): ${md5_best} s  ${md5_rate} MiB/s"
awk -v c="$curl_best" -v p="$plain_best" -v m="$md5_best" \
  'BEGIN { printf "ratio CDownloader/curl: %.2f (no MD5), %.2f (with MD5)\n", c / p, c / m }'
