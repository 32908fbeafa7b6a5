#!/usr/bin/env bash
# Makes the test certificate authority and the code-signing certificates that
# sign the test installers:
#   make-test-certs.sh OUT_DIR
# Every certificate has fixed dates and serial numbers, so tests can expect
# them. Output, each NAME as NAME.crt (PEM), NAME.cer (DER) and NAME.key:
#   ca         "Korvane Test CA", self-signed
#   signer     "Korvane Test Code Signing", serial 4B560001 (the expected signer)
#   expired    the same name and serial, valid 2021-01-01 to 2022-01-01 only
#   lowercase  "korvane test code signing", serial 4B560001
#   foreign    "Foreign Test Publisher", serial 4B560002, same CA
# plus NAME-chain.pem (certificate then CA) for the signing tool.
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/ca.cnf" <<'EOF'
[ ca ]
default_ca = test_ca
[ test_ca ]
database = $ENV::KV_CA_DB/index.txt
serial = $ENV::KV_CA_DB/serial
new_certs_dir = $ENV::KV_CA_DB
default_md = sha256
policy = any_name
unique_subject = no
copy_extensions = none
email_in_dn = no
[ any_name ]
organizationName = optional
commonName = supplied
[ req ]
distinguished_name = req_dn
prompt = no
[ req_dn ]
[ ca_ext ]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[ signer_ext ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EOF

# issue NAME SUBJECT SERIAL START END EXTENSIONS [selfsign]
issue() {
  local name=$1 subject=$2 serial=$3 start=$4 end=$5 ext=$6 mode=${7:-}
  export KV_CA_DB="$work/db-$name"
  mkdir -p "$KV_CA_DB"
  : >"$KV_CA_DB/index.txt"
  echo "$serial" >"$KV_CA_DB/serial"
  openssl genrsa -out "$name.key" 2048 2>/dev/null
  openssl req -new -config "$work/ca.cnf" -key "$name.key" -subj "$subject" -out "$work/$name.csr"
  if [ "$mode" = selfsign ]; then
    openssl ca -batch -notext -preserveDN -config "$work/ca.cnf" -selfsign -keyfile "$name.key" \
      -startdate "$start" -enddate "$end" -extensions "$ext" -in "$work/$name.csr" -out "$name.crt" 2>/dev/null
  else
    openssl ca -batch -notext -preserveDN -config "$work/ca.cnf" -cert ca.crt -keyfile ca.key \
      -startdate "$start" -enddate "$end" -extensions "$ext" -in "$work/$name.csr" -out "$name.crt" 2>/dev/null
    cat "$name.crt" ca.crt >"$name-chain.pem"
  fi
}

issue ca        "/O=Korvane Test/CN=Korvane Test CA"           4B56000A 20200101000000Z 20450101000000Z ca_ext selfsign
issue signer    "/O=Korvane Test/CN=Korvane Test Code Signing" 4B560001 20240101000000Z 20440101000000Z signer_ext
issue expired   "/O=Korvane Test/CN=Korvane Test Code Signing" 4B560001 20210101000000Z 20220101000000Z signer_ext
issue lowercase "/O=Korvane Test/CN=korvane test code signing" 4B560001 20240101000000Z 20440101000000Z signer_ext
issue foreign   "/O=Foreign Test/CN=Foreign Test Publisher"    4B560002 20240101000000Z 20440101000000Z signer_ext
for name in ca signer expired lowercase foreign; do
  openssl x509 -in "$name.crt" -outform DER -out "$name.cer"
done
