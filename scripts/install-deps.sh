#!/usr/bin/env bash
# Installs what building and testing needs on a Debian machine (as root, or through sudo).
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps.sh: run it as root" >&2; exit 1; }
  exec sudo "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
apt-get update -q
apt-get install -y -q --no-install-recommends \
  g++-mingw-w64-i686-posix cmake ninja-build googletest libboost1.81-dev \
  wine wine32:i386 wine64 nsis osslsigncode openssl xvfb xauth python3 curl ca-certificates chromium
# The installer page is built with npm and tested in Chromium. CI machines come with Node 20;
# Debian's own Node is 18, older than the page's browser tests need.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  apt-get install -y -q --no-install-recommends nodejs npm
fi
