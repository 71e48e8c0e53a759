#!/bin/sh
# run_with_authority.sh TESSERA_CA SCRIPT MODULE...: run_script.sh against a tessera-ca of its own
# (loopback, manual approval, certificates alone), described to the script by the VEL_AUTHORITY_*
# variables below.
set -u
ca=$1
shift
work=$(mktemp -d)
server=
cleanup() {
    [ -z "$server" ] || { kill "$server" && wait "$server"; } 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
"$ca" init "$work/ca" >/dev/null || exit 1
applicant=$("$ca" applicant add "$work/ca" --first Ada --last Script --email ada@example.org \
    --org "Tessera Demo" --country DE) || exit 1
# The scripts' CryptoAPI double reads single certificates, not the PKCS#7 chain answered by default.
"$ca" serve "$work/ca" --port 0 --tls-port 0 --approve manual --cert-format x509 \
    >"$work/ports" 2>"$work/server.log" &
server=$!
for attempt in $(seq 200); do
    port=$(sed -n 's/^port //p' "$work/ports")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || {
    echo "tessera-ca did not start"
    cat "$work/server.log"
    exit 1
}
start=$(printf '%s\n' "$applicant" | sed -n 's/^start //p')
export VEL_AUTHORITY_START="http://127.0.0.1:$port/${start#http://*/}"
export VEL_AUTHORITY_TLS="https://127.0.0.1:$(sed -n 's/^tls-port //p' "$work/ports")/"
export VEL_AUTHORITY_PASSWORD=$(printf '%s\n' "$applicant" | sed -n 's/^password //p')
# The approval's file ("issued SERIAL" or the error) appears whole, once the approval is done.
printf '#!/bin/sh\n"%s" approve "%s" "$1" >"%s.part" 2>&1; mv "%s.part" "%s"\n' "$ca" "$work/ca" \
    "$work/approved" "$work/approved" "$work/approved" >"$work/approve.sh"
export VEL_AUTHORITY_APPROVE="/bin/sh $work/approve.sh"
export VEL_AUTHORITY_APPROVED=$(winepath -w "$work/approved")
sh "$(dirname "$0")/run_script.sh" "$@"
