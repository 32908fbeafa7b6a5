#!/usr/bin/env bash
# Installs what building and testing needs on a Debian machine (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
apt-get update -q
apt-get install -y -q --no-install-recommends \
  g++-mingw-w64-i686-posix cmake ninja-build googletest libboost1.81-dev \
  wine wine32:i386 wine64 nsis osslsigncode openssl xvfb xauth python3 curl ca-certificates
