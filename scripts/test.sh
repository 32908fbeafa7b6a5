#!/usr/bin/env bash
# Builds everything and runs every test under Wine.
#   scripts/test.sh [BUILD_DIR] [ctest arguments...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
shift || true
case "$build" in /*) ;; *) build=$PWD/$build ;; esac

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)"
"$root/scripts/run-tests.sh" "$build" "$@"
