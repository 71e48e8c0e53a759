#!/bin/sh
# What the Wine tests wrote into the directory $1, read by OpenSSL with the password $2: the key
# file and the PKCS#12 file each hold the key of the certificate written with it, encrypted as
# promised, and the PKCS#12 file the anchor above it.
set -e
cd "$1"
expected=$(openssl x509 -in written-cert.pem -noout -pubkey)
[ "$(openssl pkey -in written.key -passin "pass:$2" -pubout)" = "$expected" ]
openssl asn1parse -in written.key | grep -q hmacWithSHA256
openssl pkcs12 -in written.p12 -passin "pass:$2" -info -nodes >written.p12.txt 2>&1
grep -q "PBES2, PBKDF2, AES-256-CBC, Iteration 100000, PRF hmacWithSHA256" written.p12.txt
grep -q "MAC: sha256" written.p12.txt
[ "$(openssl pkey -in written.p12.txt -pubout)" = "$(openssl x509 -in written.p12.txt -noout -pubkey)" ]
grep -q "subject=CN = anchor" written.p12.txt
[ "$(grep -c 'BEGIN CERTIFICATE' written.p12.txt)" -eq 2 ]
echo "OpenSSL reads the written key and PKCS#12 files"
