#!/usr/bin/env bash
# Builds everything and runs every test under Wine (windows under a virtual X display).
#   scripts/test.sh [BUILD_DIR] [ctest arguments...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
shift || true
case "$build" in /*) ;; *) build=$PWD/$build ;; esac

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)"

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$root/tools/wine-prefix" "$WINEPREFIX"

# One persistent wineserver, started inside the X display, so that windows
# opened by any test work and every test process starts warm.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  wineserver -p 120
  # Start Wine'"'"'s own background processes now, detached from any output
  # pipe: a test that started them would hand them its pipe, and ctest would
  # wait for them to close it.
  wine cmd /c exit </dev/null >/dev/null 2>&1
  status=0
  ctest --test-dir "$0" -j "$(nproc)" --output-on-failure --no-tests=error "$@" || status=$?
  wineserver -k || true
  exit $status' "$build" "$@"
