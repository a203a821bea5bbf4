#!/usr/bin/env bash
# Runs a Windows program in a new, private Wine prefix, as on a freshly set up Windows, and
# removes the prefix afterwards when the program passed (a failed run keeps it for a look).
# Usage: fresh-prefix.sh PREFIX program.exe [args...]
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$1
shift
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)
stop() { [ -d "$prefix" ] && WINEPREFIX=$prefix "$WINESERVER" -k >/dev/null 2>&1; true; }
stop
rm -rf "$prefix" "$prefix.home" "$prefix.lock" "$prefix.init.log"
"$root/cmake/wine-run.sh" "$prefix" "$@"
rc=$?
stop
[ $rc -ne 0 ] || rm -rf "$prefix" "$prefix.home" "$prefix.lock" "$prefix.init.log"
exit $rc
