#!/usr/bin/env bash
# Installs what building and testing needs on a Debian machine (as root, or through sudo).
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps.sh: run it as root" >&2; exit 1; }
  exec sudo "$0" "$@"
fi
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export DEBIAN_FRONTEND=noninteractive
runs32=0
"$root/tools/host-runs-32bit" && runs32=1
[ "$runs32" = 1 ] && dpkg --add-architecture i386
# A mirror in mid-sync can fail one index; try again, then go on with what was fetched.
for attempt in 1 2 3; do
  apt-get update -q && break
  [ "$attempt" -lt 3 ] && sleep 10
done || true
apt-get install -y -q --no-install-recommends \
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 \
  cmake ninja-build googletest libboost1.81-dev \
  wine wine64 nsis osslsigncode openssl xvfb xauth python3 curl ca-certificates chromium
# 32-bit Wine only where the kernel runs 32-bit programs; elsewhere the tests
# run the 64-bit build under wine64.
if [ "$runs32" = 1 ]; then
  apt-get install -y -q --no-install-recommends wine32:i386 \
    || echo "install-deps.sh: wine32:i386 could not be installed; tests will run the x86_64 build"
else
  echo "install-deps.sh: this host does not run 32-bit programs; tests will run the x86_64 build"
fi
# The installer page is built with npm and tested in Chromium. CI machines come with Node 20;
# Debian's own Node is 18, older than the page's browser tests need.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  apt-get install -y -q --no-install-recommends nodejs npm
fi
