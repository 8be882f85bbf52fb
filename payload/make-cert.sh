#!/bin/sh
# Makes the demo publisher's code-signing certificate (DER) and its key.
# Usage: make-cert.sh OUT.der OUT.key
# The subject and validity are ours; the extended key usage is code signing,
# which is what a TrustedPublisher entry is for.
set -e
der=$1; key=$2
cfg=$(mktemp)
trap 'rm -f "$cfg"' EXIT
cat >"$cfg" <<'CFG'
[req]
distinguished_name = dn
prompt = no
x509_extensions = ext
[dn]
CN = Marrowdale Demo Publisher
O = Marrowdale Demo
C = GB
[ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
CFG
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
    -config "$cfg" -keyout "$key" -outform DER -out "$der" 2>/dev/null
