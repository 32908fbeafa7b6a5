#!/usr/bin/env bash
# Configures and builds everything, tests included, without running anything.
#   scripts/build.sh [BUILD_DIR]
# Builds the 32-bit tree where this host runs 32-bit programs, else the 64-bit
# tree of the same code; KV_ARCH=i686|x86_64 chooses.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
case "$build" in /*) ;; *) build=$PWD/$build ;; esac
source "$root/tools/build-arch.sh"
kv_choose_arch
echo "build.sh: building the $KV_ARCH programs and their tests in $build"
kv_configure "$build"
cmake --build "$build" -j "$(nproc)"
