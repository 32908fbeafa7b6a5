#!/usr/bin/env bash
# Runs the tests of an already built tree under Wine, inside a virtual X display.
#   scripts/run-tests.sh BUILD_DIR [ctest arguments...]
# Example: scripts/run-tests.sh build --test-dir build/cxx/network -R Http
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$1
shift
case "$build" in /*) ;; *) build=$PWD/$build ;; esac

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$root/tools/wine-prefix" "$WINEPREFIX"

# One persistent wineserver, started inside the X display, so that windows
# opened by any test work and every test process starts warm.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  build=$1; shift
  wineserver -p 120
  # Start Wine'"'"'s own background processes now, detached from any output
  # pipe: a test that started them would hand them its pipe, and ctest would
  # wait for them to close it.
  wine cmd /c exit </dev/null >/dev/null 2>&1
  status=0
  # A few cases that race Wine at process exit fail about once in several
  # hundred runs; a second try keeps them from hiding real failures in noise.
  if [ "$#" -gt 0 ] && [ "$1" = "--test-dir" ]; then
    ctest -j "$(nproc)" --output-on-failure --no-tests=error --repeat until-pass:2 "$@" || status=$?
  else
    ctest --test-dir "$build" -j "$(nproc)" --output-on-failure --no-tests=error --repeat until-pass:2 "$@" || status=$?
  fi
  wineserver -k || true
  exit $status' bash "$build" "$@"
