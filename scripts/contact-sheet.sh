#!/usr/bin/env bash
# Builds a before/after contact sheet of the engine's look at 100 %: one row per crop (grass,
# sky, a face, fur, lettering, thin lines), one column per setting, each crop filtered inside a
# larger piece of its photograph so that no border shows. Needs the bench build (VG_BENCH=ON)
# and ImageMagick; the photographs come from scripts/fetch-test-images.sh.
# Usage: scripts/contact-sheet.sh [OUT.png]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/out/contact-sheet.png}
bench=${VG_BENCH_DIR:-$root/build/bench}
if [ ! -f "$bench/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVG_SANITIZE=OFF \
        -DVG_BENCH=ON >/dev/null
fi
cmake --build "$bench" --target glaze_apply -j2 >/dev/null
apply=$bench/bench/glaze_apply
images=${VG_IMAGES:-$root/build/test-images}
[ -f "$images/bridge.jpg" ] || "$root/scripts/fetch-test-images.sh" "$images" >/dev/null

# label|photo|x|y: a 240 x 180 crop at (x, y)
crops=(
    "grass|sunset.jpg|1335|2030"
    "sky|sunset.jpg|560|170"
    "face|astronaut.png|120|30"
    "fur|chelsea.png|110|10"
    "lettering|astronaut.png|110|300"
    "cables|bridge.jpg|2230|300"
    "wing veins|dragonfly.jpg|1850|1090"
)
settings=(
    "original|"
    "defaults|"
    "subtle: clean 1, radius 5|cleanStrength=1 cleanRadius=5"
    "strong: clean 8, radius 25|cleanStrength=8 cleanRadius=25"
    "sharpness 3, accent 3|edgeSharpness=3 edgeAccent=3"
    "texture 0.6, boost 2|textureStrength=0.6 textureBoost=2"
    "maximum|cleanStrength=8 cleanRadius=25 cleanThreshold=1.5 edgeSharpness=3 edgeRadius=4 edgeAccent=5 textureStrength=1 textureBoost=4 textureSize=6"
)
w=240
h=180
margin=96 # context around each crop, beyond the largest radius's reach
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rows=()
n=0
for crop in "${crops[@]}"; do
    IFS='|' read -r name photo x y <<<"$crop"
    [ -f "$images/$photo" ] || continue
    n=$((n + 1))
    # The crop with its context, clipped to the photograph.
    read -r pw ph < <(identify -format '%w %h\n' "$images/$photo")
    x0=$((x - margin < 0 ? 0 : x - margin))
    y0=$((y - margin < 0 ? 0 : y - margin))
    x1=$((x + w + margin > pw ? pw : x + w + margin))
    y1=$((y + h + margin > ph ? ph : y + h + margin))
    convert "$images/$photo" -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage \
        "$work/in$n.png" 2>/dev/null
    tiles=()
    i=0
    for s in "${settings[@]}"; do
        label=${s%%|*}
        args=${s#*|}
        tile="$work/t$n-$i.png"
        if [ "$label" = original ]; then
            cp "$work/in$n.png" "$tile"
        else
            # shellcheck disable=SC2086
            "$apply" "$work/in$n.png" "$tile" $args 2>/dev/null
        fi
        convert "$tile" -crop "${w}x${h}+$((x - x0))+$((y - y0))" +repage \
            -background white -gravity south -splice 0x16 -pointsize 12 \
            -annotate +0+1 "$label" -bordercolor white -border 2 "$tile"
        tiles+=("$tile")
        i=$((i + 1))
    done
    convert "${tiles[@]}" +append -gravity west -background white -splice 90x0 \
        -pointsize 14 -annotate +4+0 "$name" "$work/row$n.png"
    rows+=("$work/row$n.png")
done
mkdir -p "$(dirname "$out")"
convert "${rows[@]}" -append +repage "$out"
echo "$out"
