#!/usr/bin/env bash
# Runs the tests of an already built tree under Wine, inside a virtual X display.
#   scripts/run-tests.sh BUILD_DIR [ctest arguments...]
# Example: scripts/run-tests.sh build --test-dir build/cxx/network -R Http
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$1
shift
case "$build" in /*) ;; *) build=$PWD/$build ;; esac

export KV_WINE_ARCH=$(sed -n 's/^KV_ARCH:INTERNAL=//p' "$build/CMakeCache.txt")
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Each case has it from its test's properties; the listing of a program's
# cases, which ctest makes before any test, takes it from here.
export KV_BUILD_DIR="$build"
source "$root/tools/wine-env.sh"
export KV_WINE
"$root/tools/wine-prefix" "$WINEPREFIX"

# One persistent wineserver, started inside the X display, so that windows
# opened by any test work and every test process starts warm.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  build=$1; shift
  wineserver -p 120
  # Start Wine'"'"'s own background processes now, detached from any output
  # pipe: a test that started them would hand them its pipe, and ctest would
  # wait for them to close it.
  "$KV_WINE" cmd /c exit </dev/null >/dev/null 2>&1
  status=0
  rm -rf "$build/retried-cases.log" "$build/retried-cases"
  started=$(mktemp)
  if [ "$#" -gt 0 ] && [ "$1" = "--test-dir" ]; then
    ctest -j "$(nproc)" --output-on-failure --no-tests=error "$@" || status=$?
  else
    ctest --test-dir "$build" -j "$(nproc)" --output-on-failure --no-tests=error "$@" || status=$?
  fi
  # Only a case whose process Wine lost is run again
  # (tests/support/with_servers.py); every other failure stands.
  retried=0
  [ -f "$build/retried-cases.log" ] && retried=$(wc -l < "$build/retried-cases.log")
  # CI keeps only the tail of this output: the failed cases'"'"' own words go last.
  if [ "$status" -ne 0 ]; then
    for log in "$build"/Testing/Temporary/LastTest.log "$build"/*/Testing/Temporary/LastTest.log \
               "$build"/*/*/Testing/Temporary/LastTest.log; do
      [ -f "$log" ] && [ "$log" -nt "$started" ] || continue
      awk '"'"'/^[0-9]+\/[0-9]+ Test: /{name=$3} /^Output:$/{grab=1; n=0; next} /^<end of output>$/{grab=0}
           grab{line[n++ % 40]=$0} /^Test Failed\.$/{print "--- Last lines of the failed " name ":"
           for (i = (n > 40 ? n - 40 : 0); i < n; i++) print line[i % 40]}'"'"' "$log"
    done
  fi
  rm -f "$started"
  echo "Cases run again after Wine lost their process: $retried"
  if [ "$retried" -gt 0 ]; then
    sed "s/^/  /" "$build/retried-cases.log"
    echo "  (what they printed, and Wine'"'"'s messages of their second run: $build/retried-cases/)"
  fi
  echo "Architecture tested: $KV_WINE_ARCH"
  wineserver -k || true
  exit $status' bash "$build" "$@"
