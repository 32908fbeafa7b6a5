#!/usr/bin/env bash
# Signs a Windows program with one of the test certificates:
#   sign-file.sh CERT_DIR NAME IN OUT
# NAME is a certificate made by make-test-certs.sh (signer, expired, ...).
set -euo pipefail
certs=$1 name=$2 in=$3 out=$4
rm -f "$out"
osslsigncode sign -certs "$certs/$name-chain.pem" -key "$certs/$name.key" \
  -n "Vellix PDF Pro Setup" -h sha256 -in "$in" -out "$out" >/dev/null
