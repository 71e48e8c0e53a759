#!/bin/sh
# An anchor with an intermediate below it, a stranger, an impostor with the anchor's name but a key
# of its own, certificates and revocation lists from each, and files no reader should accept, all
# written to the directory $1 by OpenSSL, whose reading the Windows formats must match.
set -e
mkdir -p "$1" && cd "$1"
exec 2>/dev/null
ca() { openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=$1" -keyout "$2.key" \
    -out "$2.pem" -addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign,cRLSign; }
sign() { openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -set_serial "$3" -days 365 \
    -out "$4.pem" ${5:+-extfile /dev/stdin}; }
ca anchor anchor
ca stranger stranger
ca anchor impostor
openssl req -newkey rsa:2048 -nodes -subj "/CN=leaf" -keyout leaf.key -out leaf.csr
openssl req -newkey rsa:2048 -nodes -subj "/CN=intermediate" -keyout intermediate.key \
    -out intermediate.csr
sign leaf anchor 4097 leaf
sign leaf anchor 4098 kept
sign leaf impostor 4099 forged
printf 'basicConstraints=critical,CA:TRUE\n' | sign intermediate anchor 4100 intermediate ext
sign leaf intermediate 4101 deep
: >index.txt && echo 01 >crlnumber
printf '[ca]\ndefault_ca=d\n[d]\ndatabase=index.txt\ndefault_md=sha256\ncrlnumber=crlnumber\n' >ca.cnf
list() {
    signer=$1
    shift
    openssl ca -config ca.cnf -cert "$signer.pem" -keyfile "$signer.key" -gencrl "$@"
}
openssl ca -config ca.cnf -cert anchor.pem -keyfile anchor.key -revoke leaf.pem
list anchor -crldays 30 -out anchor.crl
list anchor -crl_lastupdate 20200101000000Z -crl_nextupdate 20200102000000Z -out expired.crl
list impostor -crldays 30 -out forged.crl
list stranger -crldays 30 -out stranger.crl
openssl x509 -in leaf.pem -outform DER -out leaf.der
openssl crl -in anchor.crl -outform DER -out anchor.crl.der
openssl crl2pkcs7 -nocrl -certfile anchor.pem -certfile intermediate.pem -out chain.p7b
# A certificate under the wrong label, a PKCS#7 bundle of two and a list.
sed 's/CERTIFICATE/X509 CRL/' leaf.pem | cat - chain.p7b anchor.crl >bundle.pem
openssl x509 -in anchor.pem -noout -fingerprint -sha256 | sed 's/.*=//; s/://g' | tr -d '\n' \
    >anchor.fingerprint
sed '2s/^M/%/' leaf.pem >broken-base64.pem
head -c 300 leaf.der >garbage.der
openssl pkcs12 -export -in leaf.pem -inkey leaf.key -passout "pass:right horse" -out openssl.p12
