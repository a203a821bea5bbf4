#!/usr/bin/env bash
# Builds a before/after contact sheet of the engine's look: a few photographs at a few
# parameter sets, one row per photograph. Needs the bench build (VG_BENCH=ON) and ImageMagick.
# Usage: scripts/contact-sheet.sh [OUT.png] [photo ...]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/out/contact-sheet.png}
shift || true
bench=$root/build/bench
bench=${VG_BENCH_DIR:-$bench}
if [ ! -f "$bench/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVG_SANITIZE=OFF \
        -DVG_BENCH=ON >/dev/null
fi
cmake --build "$bench" --target glaze_apply -j2 >/dev/null
apply=$bench/bench/glaze_apply
images=${VG_IMAGES:-$root/build/test-images}
[ -d "$images" ] || "$root/scripts/fetch-test-images.sh" "$images" >/dev/null
if [ $# -eq 0 ]; then
    set -- "$root/samples/sample.png" "$images/astronaut.png" "$images/coffee.png" \
           "$images/chelsea.png"
fi
presets=(
    "original|"
    "defaults|"
    "clean 4, radius 12|cleanStrength=4 cleanRadius=12"
    "sharp 3, accent 3|edgeSharpness=3 edgeAccent=3"
    "texture 0.6, boost 2|textureStrength=0.6 textureBoost=2"
    "maximum|cleanStrength=8 cleanRadius=25 cleanThreshold=1.5 edgeSharpness=3 edgeRadius=4 edgeAccent=5 textureStrength=1 textureBoost=4 textureSize=6"
)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rows=()
n=0
for photo in "$@"; do
    [ -f "$photo" ] || continue
    n=$((n + 1))
    convert "$photo" -resize '640x480>' "$work/in$n.png" 2>/dev/null
    tiles=()
    i=0
    for p in "${presets[@]}"; do
        label=${p%%|*}
        args=${p#*|}
        tile="$work/t$n-$i.png"
        if [ -z "$args" ] && [ "$label" = original ]; then
            cp "$work/in$n.png" "$tile"
        else
            # shellcheck disable=SC2086
            "$apply" "$work/in$n.png" "$tile" $args 2>/dev/null
        fi
        convert "$tile" -resize 360x270 -background white -gravity center -extent 360x270 \
            -gravity south -splice 0x18 -pointsize 14 -annotate +0+2 "$label" "$tile"
        tiles+=("$tile")
        i=$((i + 1))
    done
    convert "${tiles[@]}" +append "$work/row$n.png"
    rows+=("$work/row$n.png")
done
mkdir -p "$(dirname "$out")"
convert "${rows[@]}" -append "$out"
echo "$out"
