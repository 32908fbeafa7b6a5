#!/usr/bin/env bash
# Measures the downloader against curl on one file served over loopback.
#   scripts/bench-download.sh [BUILD_DIR] [SIZE_MB] [RUNS]
# Builds the bench programs in BUILD_DIR (default: build), serves a SIZE_MB
# (default 200) file with tests/servers/files.py and, RUNS (default 5) times in
# turn, downloads it with curl, digests curl's copy with md5sum, downloads it
# with CDownloader under Wine without and with the MD5 check into a file, and
# takes the setup program's road: a verified download into a shared
# std::stringstream, then the installer file's Write. It prints the best time
# of each (with the road's Write alone, and the time to touch a new block of
# the file's size, which any road holding the file in memory pays), the ratios
# (CDownloader against curl; CDownloader with the check, and the setup
# program's road, against curl followed by md5sum: the same work), the road's
# peak memory as a multiple of the file's size, and then the sizes of the
# shipped programs (scripts/size-report.py). Wine runs the build's
# architecture (KV_ARCH in its CMakeCache), which the output names.
# The machine's other work slows single runs: compare best times only.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
case "$build" in /*) ;; *) build=$PWD/$build ;; esac
size_mb=${2:-200}
runs=${3:-5}

if [ ! -f "$build/CMakeCache.txt" ]; then
  source "$root/tools/build-arch.sh"
  kv_choose_arch
  kv_configure "$build" >/dev/null
fi
cmake --build "$build" --target kv_download_bench kv_setup_download_bench >/dev/null
bench="$build/cxx/network/downloader/kv_download_bench.exe"
setup_bench="$build/installer/cpp_custominstaller/core/kv_setup_download_bench.exe"

export KV_WINE_ARCH=$(sed -n 's/^KV_ARCH:INTERNAL=//p' "$build/CMakeCache.txt")
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source "$root/tools/wine-env.sh"
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
"$KV_WINE" cmd /c exit </dev/null >/dev/null 2>&1

best() { sort -g | head -1; }
mbps() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", b / s / 1048576 }'; }
seconds() { local start=$(date +%s.%N); "$@" >/dev/null; awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }'; }

download() {
  local target=$1 line
  shift
  line=$("$KV_WINE" "$bench" "$url" "$target" "$@")
  case "$line" in status=0*) ;; *) echo "downloader failed: $line" >&2; exit 1 ;; esac
  echo "$line" | sed 's/.*seconds=//'
  rm -f "$work/copy.bin"
}

# The setup program's road; its time goes to setup_times and its peak memory to setup_peaks.
setup_road() {
  local line
  line=$("$KV_WINE" "$setup_bench" "$url" "$md5" "$target_win")
  case "$line" in "status=0 written=1 bytes=$bytes "*) ;; *) echo "setup road failed: $line" >&2; exit 1 ;; esac
  [ "$(md5sum < "$work/copy.bin" | cut -d' ' -f1)" = "$md5" ] || { echo "setup road wrote other bytes" >&2; exit 1; }
  rm -f "$work/copy.bin"
  setup_times+=("$(echo "$line" | sed 's/.*seconds=\([^ ]*\).*/\1/')")
  write_times+=("$(echo "$line" | sed 's/.*write=\([^ ]*\).*/\1/')")
  setup_peaks+=("$(echo "$line" | sed 's/.*peak=\([^ ]*\).*/\1/')")
  setup_before=$(echo "$line" | sed 's/.*before=//')
}

curl_times=() md5sum_times=() plain_times=() md5_times=() setup_times=() write_times=() setup_peaks=() setup_before=0
touch_times=()
for _ in $(seq "$runs"); do
  curl_times+=("$(curl -s -o "$work/copy.bin" -w '%{time_total}' "$url")")
  md5sum_times+=("$(seconds md5sum "$work/copy.bin")")
  rm -f "$work/copy.bin"
  plain_times+=("$(download "$target_win")")
  md5_times+=("$(download "$target_win" "$md5")")
  setup_road
  touch_times+=("$("$KV_WINE" "$setup_bench" --touch "$bytes" | sed 's/seconds=//')")
done
curl_best=$(printf '%s\n' "${curl_times[@]}" | best)
md5sum_best=$(printf '%s\n' "${md5sum_times[@]}" | best)
plain_best=$(printf '%s\n' "${plain_times[@]}" | best)
md5_best=$(printf '%s\n' "${md5_times[@]}" | best)
setup_best=$(printf '%s\n' "${setup_times[@]}" | best)
write_best=$(printf '%s\n' "${write_times[@]}" | best)
touch_best=$(printf '%s\n' "${touch_times[@]}" | best)
# The largest peak: memory does not depend on the machine's other work.
setup_peak=$(printf '%s\n' "${setup_peaks[@]}" | sort -g | tail -1)
both_best=$(awk -v c="$curl_best" -v m="$md5sum_best" 'BEGIN { printf "%.3f", c + m }')

echo "file: $size_mb MiB over loopback, best of $runs runs each (taken in turn); Wine: $KV_WINE_ARCH"
echo "curl:                       ${curl_best} s  $(mbps "$bytes" "$curl_best") MiB/s"
echo "curl, then md5sum:          ${both_best} s  $(mbps "$bytes" "$both_best") MiB/s"
echo "CDownloader (no MD5):       ${plain_best} s  $(mbps "$bytes" "$plain_best") MiB/s"
echo "CDownloader (MD5 verified): ${md5_best} s  $(mbps "$bytes" "$md5_best") MiB/s"
echo "setup program's road:       ${setup_best} s  $(mbps "$bytes" "$setup_best") MiB/s (MD5 verified into the shared stringstream, then Write)"
echo "  of which Write:             ${write_best} s (best alone)"
echo "  touching a new block of the file's size under Wine: ${touch_best} s (paid by any road that holds the file in memory)"
awk -v c="$curl_best" -v p="$plain_best" 'BEGIN { printf "ratio CDownloader/curl (no MD5): %.2f\n", c / p }'
awk -v c="$both_best" -v m="$md5_best" 'BEGIN { printf "ratio CDownloader with MD5/(curl, then md5sum): %.2f\n", c / m }'
awk -v c="$both_best" -v s="$setup_best" 'BEGIN { printf "ratio setup program'"'"'s road/(curl, then md5sum): %.2f\n", c / s }'
awk -v p="$setup_peak" -v b="$bytes" -v z="$setup_before" 'BEGIN {
  printf "peak memory of the setup program'"'"'s road: %.2f x the file'"'"'s size (%.1f MiB; %.1f MiB before the download)\n",
    p / b, p / 1048576, z / 1048576 }'
echo
python3 "$root/scripts/size-report.py" "$build"
