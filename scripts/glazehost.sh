#!/usr/bin/env bash
# Runs glazehost.exe under wine from Linux: Unix paths in, Unix paths out.
# Usage: scripts/glazehost.sh [glazehost options] INPUT... -o FOLDER
#        scripts/glazehost.sh [glazehost options] INPUT OUTPUT
# Paths (options' values, the images, folders and quoted wildcards) are converted to Z: paths. The exe comes from
# $GLAZEHOST_BUILD (default build/win64); the wine prefix lives below that build directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${GLAZEHOST_BUILD:-$root/build/win64}
exe=$build/host/glazehost.exe
[ -f "$exe" ] || { echo "glazehost.sh: $exe not built (cmake --build --preset win64 --target glazehost)" >&2; exit 101; }

zpath() { # absolute Windows path on wine's Z: drive
    local p=$1
    case $p in /*) ;; *) p=$PWD/$p ;; esac
    printf 'Z:%s' "$p"
}

args=()
while [ $# -gt 0 ]; do
    case $1 in
        --plugin|--descriptor|--record|-o|--output|--preset-dir)
            [ $# -ge 2 ] || { echo "glazehost.sh: $1 needs a value" >&2; exit 101; }
            args+=("$1" "$(zpath "$2")"); shift 2 ;;
        --preset) # a name, or a .vpp file
            [ $# -ge 2 ] || { echo "glazehost.sh: $1 needs a value" >&2; exit 101; }
            case $2 in
                */*|*.vpp|*.VPP) args+=("$1" "$(zpath "$2")") ;;
                *) args+=("$1" "$2") ;;
            esac
            shift 2 ;;
        --set|--runs|--record-size|--cancel-after|--name|--format|--quality)
            [ $# -ge 2 ] || { echo "glazehost.sh: $1 needs a value" >&2; exit 101; }
            args+=("$1" "$2"); shift 2 ;;
        -*) args+=("$1"); shift ;;
        *) args+=("$(zpath "$1")"); shift ;;
    esac
done
exec "$root/cmake/wine-run.sh" "$build/wineprefix" "$exe" "${args[@]}"
