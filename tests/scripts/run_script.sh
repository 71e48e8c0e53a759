#!/bin/sh
# run_script.sh SCRIPT MODULE...: registers the modules in the Wine prefix, runs the script under
# cscript and unregisters the modules again. The script fails with a non-zero exit code and a
# line saying why; it passes only when its last line is "passed", because Wine's cscript ends a
# script stopped by an unhandled error silently and with exit code 0.
set -u
script=$(winepath -w "$1")
shift
for module in "$@"; do
    wine regsvr32 /s "$(winepath -w "$module")" || {
        echo "cannot register $module"
        exit 1
    }
done
output=$(wine cscript //nologo "$script")
result=$?
for module in "$@"; do
    wine regsvr32 /u /s "$(winepath -w "$module")"
done
printf '%s\n' "$output"
[ "$result" -eq 0 ] || exit "$result"
[ "$(printf '%s\n' "$output" | tr -d '\r' | tail -n 1)" = passed ] || {
    echo "the script stopped before its end"
    exit 1
}
