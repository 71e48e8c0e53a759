#!/bin/sh
# run_script.sh SCRIPT MODULE...: the script under cscript with the modules registered. It passes
# only with "passed" last: Wine's cscript ends a script stopped by an error silently with code 0.
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
