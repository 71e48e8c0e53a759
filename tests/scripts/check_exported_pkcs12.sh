#!/bin/sh
# check_exported_pkcs12.sh WORK: the PKCS#12 file the enrollment story exported, read by openssl:
# it opens with the export password and holds the renewed certificate and the key that matches it.
set -eu
work=$1
pass="pass:export password"
certificate=$(openssl pkcs12 -in "$work/story.p12" -passin "$pass" -nokeys -clcerts)
serial=$(printf '%s\n' "$certificate" | openssl x509 -noout -serial | sed 's/^serial=//')
[ "$(echo "$serial" | tr a-f A-F | sed 's/^0*//')" = "$(tr -d '\r' <"$work/story.serial" | tr a-f A-F | sed 's/^0*//')" ] || {
    echo "the PKCS#12 file holds serial $serial, not the renewed certificate's"
    exit 1
}
key=$(openssl pkcs12 -in "$work/story.p12" -passin "$pass" -nocerts -nodes)
[ "$(printf '%s\n' "$key" | openssl pkey -pubout)" = "$(printf '%s\n' "$certificate" | openssl x509 -noout -pubkey)" ] || {
    echo "the PKCS#12 file's key is not the certificate's"
    exit 1
}
echo "openssl reads the exported PKCS#12 file: serial $serial with its key"
