#!/bin/sh
# run_with_tls_server.sh PROGRAM...: runs the program under Wine against an HTTPS server on
# loopback (logging_tls_server.py) whose certificate a private authority issued. The VEL_TLS_*
# variables describe it to the program.
set -u
server_script=$(cd "$(dirname "$0")" && pwd)/logging_tls_server.py
work=$(mktemp -d)
server=
cleanup() {
    [ -z "$server" ] || { kill "$server" && wait "$server"; } 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1
authority() {
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 2 \
        -subj "/CN=$1" -addext basicConstraints=critical,CA:true 2>/dev/null
}
authority private && authority other || exit 1
# Wine's WinHTTP matches an IP address against the DNS names only.
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=127.0.0.1 \
    2>/dev/null &&
    printf 'subjectAltName=DNS:127.0.0.1,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' >server.ext &&
    openssl x509 -req -in server.csr -CA private.pem -CAkey private.key -CAcreateserial \
        -days 2 -extfile server.ext -out server.pem 2>/dev/null || exit 1
python3 "$server_script" server.pem server.key requests.log client.pem >port &
server=$!
for attempt in $(seq 100); do
    [ -s port ] && break
    sleep 0.1
done
[ -s port ] || { echo "the HTTPS server did not start"; exit 1; }
export VEL_TLS_SERVER="https://127.0.0.1:$(cat port)/"
export VEL_TLS_LOG=$(winepath -w "$work/requests.log")
export VEL_TLS_CLIENT_PEM=$(winepath -w "$work/client.pem")
export VEL_TLS_AUTHORITY=$(winepath -w "$work/private.pem")
export VEL_TLS_OTHER_AUTHORITY=$(winepath -w "$work/other.pem")
"$@"
