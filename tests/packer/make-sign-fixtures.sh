#!/bin/sh
# Makes the signing tests' keys and certificates in the folder $1: a code
# signing certificate with its key (PEM, DER, encrypted PEM, PKCS#12 with a
# password, also in legacy ciphers), the key and certificate of another
# signer, and password files.
set -eu
out=$1
mkdir -p "$out"
cd "$out"
subj() { printf '/CN=%s/O=Marrowdale Tests' "$1"; }
for who in signer other; do
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$who-key.pem" -out "$who-cert.pem" -days 3650 \
        -subj "$(subj "$who")" -addext extendedKeyUsage=codeSigning 2>/dev/null
done
openssl x509 -in signer-cert.pem -outform DER -out signer-cert.der
printf 'correct horse\n' >password.txt
printf 'wrong horse\n' >wrong-password.txt
: >empty-password.txt
openssl pkey -in signer-key.pem -aes256 -passout file:password.txt -out signer-key-encrypted.pem
# A PKCS#12 file as older systems export it, in ciphers OpenSSL 3 keeps in
# its legacy provider.
openssl pkcs12 -export -legacy -inkey signer-key.pem -in signer-cert.pem -passout file:password.txt \
    -out signer-legacy.p12
openssl pkcs12 -export -inkey signer-key.pem -in signer-cert.pem -passout file:password.txt -out signer.p12
# A certificate file whose chain follows it.
cat signer-cert.pem other-cert.pem >signer-chain.pem
