#!/usr/bin/env bash
# Builds the shipped programs, Korvane.exe and Tallix.exe (32-bit, Release),
# and checks them without running them: large-address-aware 32-bit Windows GUI
# programs that import only system DLLs and carry their compatibility manifest
# and version block, Korvane also its dialog template and every file of the
# installer page.
#   scripts/check-shipped.sh [BUILD_DIR]   (default: build-shipped)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-shipped}
case "$build" in /*) ;; *) build=$PWD/$build ;; esac
source "$root/tools/build-arch.sh"
KV_ARCH=i686
tests=()
[ -f "$build/CMakeCache.txt" ] || tests=(-DKV_BUILD_TESTS=OFF)
kv_configure "$build" "${tests[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target Korvane Tallix
check="$root/tests/e2e/check_pe_image.sh"
status=0
sh "$check" "$build/installer/cpp_custominstaller/startup/Korvane.exe" i686 \
  --page "$root/installer/cpp_custominstaller/page/resources.json" --dialog 15001 || status=1
sh "$check" "$build/tallix/Tallix.exe" i686 || status=1
[ "$status" -eq 0 ] && echo "check-shipped.sh: the shipped 32-bit programs pass their checks"
exit "$status"
