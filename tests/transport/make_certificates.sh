#!/bin/sh
# A throwaway authority, a server certificate for 127.0.0.1 and a client certificate whose key is
# encrypted with the password "right horse", all written to the directory $1.
set -e
mkdir -p "$1" && cd "$1"
exec 2>/dev/null
new() { openssl req -newkey rsa:2048 "$@"; }
sign() { openssl x509 -req -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 "$@"; }
new -x509 -days 3650 -nodes -subj "/CN=velTransport test CA" -keyout ca.key -out ca.pem
new -nodes -subj "/CN=127.0.0.1" -keyout server.key -out server.csr
printf 'subjectAltName=IP:127.0.0.1\n' | sign -in server.csr -extfile /dev/stdin -out server.pem
new -subj "/CN=velTransport client" -passout "pass:right horse" -keyout client.key -out client.csr
sign -in client.csr -out client.pem
