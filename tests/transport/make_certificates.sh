#!/bin/sh
# A throwaway authority, a server certificate for 127.0.0.1 and a client certificate whose key is
# encrypted with the password "right horse", all written to the directory $1.
set -e
cd "$1"
openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=velTransport test CA" \
    -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout server.key -out server.csr \
    2>/dev/null
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' > server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 \
    -extfile server.ext -out server.pem 2>/dev/null
openssl req -newkey rsa:2048 -subj "/CN=velTransport client" -passout "pass:right horse" \
    -keyout client.key -out client.csr 2>/dev/null
openssl x509 -req -in client.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 \
    -out client.pem 2>/dev/null
