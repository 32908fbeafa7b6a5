#!/bin/sh
# Makes a throw-away certificate authority and a server certificate for
# "localhost" signed by it, for loopback HTTPS tests:
#   make-test-tls.sh OUTDIR
# OUTDIR receives ca.pem, ca.der, server.pem and server.key. Nothing here is
# a secret: the files are made again whenever the folder is removed.
set -eu
out=$1
mkdir -p "$out"
cd "$out"
cat > ca.cnf <<'CNF'
[req]
distinguished_name = dn
prompt = no
[dn]
CN = Korvane Test Root
[ext]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
CNF
cat > server.cnf <<'CNF'
[req]
distinguished_name = dn
prompt = no
[dn]
CN = localhost
[ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost
authorityKeyIdentifier = keyid
CNF
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 \
  -config ca.cnf -extensions ext 2>/dev/null
openssl x509 -in ca.pem -outform DER -out ca.der
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -config server.cnf 2>/dev/null
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 3650 \
  -extfile server.cnf -extensions ext 2>/dev/null
rm -f server.csr ca.srl
