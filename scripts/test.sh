#!/usr/bin/env bash
# Builds everything and runs every test under Wine.
#   scripts/test.sh [BUILD_DIR] [ctest arguments...]
# Runs the 32-bit build where this host runs 32-bit programs, else the 64-bit
# build of the same code; KV_ARCH=i686|x86_64 chooses.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
shift || true
case "$build" in /*) ;; *) build=$PWD/$build ;; esac
"$root/scripts/build.sh" "$build"
"$root/scripts/run-tests.sh" "$build" "$@"
