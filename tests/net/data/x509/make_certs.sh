#!/bin/sh
# Makes the certificate fixtures of tests/net/x509_test.cpp (DER files
# here; the keys are thrown away). Run from this folder.
set -e
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$T/$1.key" 2>/dev/null; }
ext() { printf '%s\n' "$2" > "$T/$1.ext"; }
# sign NAME SUBJECT ISSUER EXTENSIONS [digest]
sign() {
  openssl req -new -key "$T/$1.key" -subj "/CN=$2" -out "$T/$1.csr"
  ext "$1" "$4"
  openssl x509 -req -in "$T/$1.csr" -CA "$T/$3.pem" -CAkey "$T/$3.key" -set_serial "0x$(openssl rand -hex 8)" \
    -days 36500 -extfile "$T/$1.ext" -${5:-sha256} -out "$T/$1.pem" 2>/dev/null
  openssl x509 -in "$T/$1.pem" -outform DER -out "$1.der"
}
root() {
  key "$1"
  openssl req -x509 -new -key "$T/$1.key" -subj "/CN=$2" -days 36500 \
    -addext "basicConstraints=critical,CA:true" -addext "keyUsage=critical,keyCertSign,cRLSign" -out "$T/$1.pem"
  openssl x509 -in "$T/$1.pem" -outform DER -out "$1.der"
}
SERVER="basicConstraints=CA:false
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:www.example.test,DNS:*.wild.example.test,IP:127.0.0.1"
CA0="basicConstraints=critical,CA:true,pathlen:0
keyUsage=critical,keyCertSign"
root root "Tarnwick Test Root"
root other_root "Another Test Root"
key inter; sign inter "Tarnwick Test Intermediate" root "$CA0"
key leaf; sign leaf "www.example.test" inter "$SERVER"
key other_leaf; sign other_leaf "www.example.test" other_root "$SERVER"
# A certificate that is no CA, used as one.
key notca; sign notca "Not A CA" root "basicConstraints=CA:false"
key notca_leaf; sign notca_leaf "www.example.test" notca "$SERVER"
# A second intermediate below one limited to path length 0.
key inter2; sign inter2 "Tarnwick Deeper Intermediate" inter "basicConstraints=critical,CA:true
keyUsage=critical,keyCertSign"
key deep_leaf; sign deep_leaf "www.example.test" inter2 "$SERVER"
key client_leaf; sign client_leaf "www.example.test" inter "basicConstraints=CA:false
extendedKeyUsage=clientAuth
subjectAltName=DNS:www.example.test"
key critical_leaf; sign critical_leaf "www.example.test" inter "$SERVER
1.3.6.1.4.1.55555.1=critical,ASN1:NULL"
key sha1_leaf; sign sha1_leaf "www.example.test" inter "$SERVER" sha1
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$T/ec_leaf.key" 2>/dev/null
sign ec_leaf "www.example.test" inter "$SERVER"
