#!/bin/sh
# run_with_authority.sh TESSERA_CA SCRIPT MODULE...: run_script.sh against a tessera-ca of its own
# on loopback, described to the script by the VEL_AUTHORITY_* variables below.
#   VEL_SERVE_OPTIONS  how it serves, "--approve manual --cert-format x509" unless set
#   VEL_AFTER_SCRIPT   a shell script run with the work directory once the script passed
#   VEL_TRUST_BUNDLE   when 1, the transport trusts the authority through VELTRANSPORT_CA_BUNDLE
#   VEL_AUTHORITY_HOST the host of the start address, 127.0.0.1 unless set (serve it with --host)
set -u
ca=$1
shift
work=$(mktemp -d)
cleanup() {
    [ ! -f "$work/server.pid" ] || { kill "$(cat "$work/server.pid")"; } 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fingerprint=$("$ca" init "$work/ca" | sed -n 's/^fingerprint //p') || exit 1
applicant=$("$ca" applicant add "$work/ca" --first Ada --last Script --email ada@example.org \
    --org "Tessera Demo" --country DE) || exit 1

# serve.sh OPTIONS...: (re)starts the authority on the ports it had, or on free ones the first
# time, and returns once it listens. Scripts call it to restart with other options.
cat >"$work/serve.sh" <<SERVE
#!/bin/sh
[ ! -f "$work/server.pid" ] || kill "\$(cat "$work/server.pid")" 2>/dev/null
ports="--port 0 --tls-port 0"
[ ! -f "$work/ports" ] || ports="--port \$(sed -n 's/^port //p' "$work/ports") --tls-port \$(sed -n 's/^tls-port //p' "$work/ports")"
rm -f "$work/ports.new"
"$ca" serve "$work/ca" \$ports "\$@" >"$work/ports.new" 2>>"$work/server.log" </dev/null &
echo \$! >"$work/server.pid"
for attempt in \$(seq 200); do
    grep -q '^tls-port ' "$work/ports.new" 2>/dev/null && mv "$work/ports.new" "$work/ports" && exit 0
    sleep 0.1
done
echo "tessera-ca did not start"
cat "$work/server.log"
exit 1
SERVE
# shellcheck disable=SC2086
sh "$work/serve.sh" ${VEL_SERVE_OPTIONS:---approve manual --cert-format x509} || exit 1
port=$(sed -n 's/^port //p' "$work/ports")
start=$(printf '%s\n' "$applicant" | sed -n 's/^start //p')
export VEL_AUTHORITY_START="http://${VEL_AUTHORITY_HOST:-127.0.0.1}:$port/${start#http://*/}"
export VEL_AUTHORITY_TLS="https://127.0.0.1:$(sed -n 's/^tls-port //p' "$work/ports")/"
export VEL_AUTHORITY_PASSWORD=$(printf '%s\n' "$applicant" | sed -n 's/^password //p')
export VEL_AUTHORITY_FINGERPRINT="$fingerprint"
export VEL_AUTHORITY_CA=$(winepath -w "$work/ca/ca.pem")
export VEL_AUTHORITY_WORK=$(winepath -w "$work")
[ "${VEL_TRUST_BUNDLE:-}" != 1 ] || export VELTRANSPORT_CA_BUNDLE="$VEL_AUTHORITY_CA"
# A script's shell commands run while it polls for their result: each writes its file whole, once
# it is done ("issued SERIAL" or the error for an approval, "restarted" for a restart).
# "approve.sh pending" approves the one request awaiting approval, as the operator finds it.
cat >"$work/approve.sh" <<APPROVE
#!/bin/sh
reference=\$1
[ "\$reference" != pending ] || reference=\$("$ca" list "$work/ca" requests --pending | cut -f1)
"$ca" approve "$work/ca" "\$reference" >"$work/approved.part" 2>&1
mv "$work/approved.part" "$work/approved"
APPROVE
export VEL_AUTHORITY_APPROVE="/bin/sh $work/approve.sh"
export VEL_AUTHORITY_APPROVED=$(winepath -w "$work/approved")
manual=$(printf '%s\n' "${VEL_SERVE_OPTIONS:-}" | sed 's/--approve [a-z]*//')
printf '#!/bin/sh\nsh "%s" %s --approve manual >"%s.part" 2>&1 && echo restarted >>"%s.part"; mv "%s.part" "%s"\n' \
    "$work/serve.sh" "$manual" "$work/restarted" "$work/restarted" "$work/restarted" "$work/restarted" \
    >"$work/restart.sh"
export VEL_AUTHORITY_RESTART="/bin/sh $work/restart.sh"
export VEL_AUTHORITY_RESTARTED=$(winepath -w "$work/restarted")
sh "$(dirname "$0")/run_script.sh" "$@" || exit 1
[ -z "${VEL_AFTER_SCRIPT:-}" ] || sh "$VEL_AFTER_SCRIPT" "$work"
