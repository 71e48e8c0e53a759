#!/bin/sh
# wine_prefix.sh start|stop: creates $WINEPREFIX and keeps its server running for the tests that
# share it, or stops that server once they are done.
set -eu
[ "$1" = start ] || { wineserver -k || true; exit 0; }
mkdir -p "$WINEPREFIX"
# The server and the programs wineboot leaves running outlive this script: their output must not
# hold CTest's pipe open.
log="$WINEPREFIX.log"
wineserver -p </dev/null >"$log" 2>&1
wine wineboot --init </dev/null >>"$log" 2>&1 || {
    cat "$log" >&2
    exit 1
}
