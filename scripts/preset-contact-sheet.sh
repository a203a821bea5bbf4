#!/usr/bin/env bash
# Renders every predefined preset on two photographs at 100 % into one contact sheet: a
# portrait (face, hair, skin) and a landscape in low evening light (an engraved stone rim,
# grass and snow). Each crop is filtered inside a larger piece of its photograph so that no
# border shows. Needs the bench build (VG_BENCH=ON) and ImageMagick; the photographs come from
# scripts/fetch-test-images.sh.
# Usage: scripts/preset-contact-sheet.sh [OUT.jpg] [PRESET.vpp ...]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/preset-contact-sheet.jpg}
shift || true
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=("$root"/presets/data/*.vpp)
bench=${VG_BENCH_DIR:-$root/build/bench}
if [ ! -f "$bench/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVG_SANITIZE=OFF \
        -DVG_BENCH=ON >/dev/null
fi
cmake --build "$bench" --target glaze_apply -j2 >/dev/null
apply=$bench/bench/glaze_apply
images=${VG_IMAGES:-$root/build/test-images}
[ -f "$images/sunset.jpg" ] || "$root/scripts/fetch-test-images.sh" "$images" >/dev/null

# photo|x|y: a w x h crop at (x, y)
photos=("astronaut.png|112|14" "sunset.jpg|3560|1850")
w=240
h=180
margin=96 # context around each crop, beyond the largest radius's reach
per_row=4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The crops with their context, clipped to the photographs.
n=0
for p in "${photos[@]}"; do
    IFS='|' read -r photo x y <<<"$p"
    read -r pw ph < <(identify -format '%w %h\n' "$images/$photo")
    x0=$((x - margin < 0 ? 0 : x - margin))
    y0=$((y - margin < 0 ? 0 : y - margin))
    x1=$((x + w + margin > pw ? pw : x + w + margin))
    y1=$((y + h + margin > ph ? ph : y + h + margin))
    convert "$images/$photo" -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage "$work/in$n.png"
    echo "$((x - x0)) $((y - y0))" >"$work/at$n"
    n=$((n + 1))
done

# One cell: the two crops side by side, the name below.
cell() { # name out [glaze_apply arguments...]
    local name=$1 target=$2
    shift 2
    local tiles=() i
    for i in $(seq 0 $((n - 1))); do
        read -r ox oy <"$work/at$i"
        if [ $# -eq 0 ]; then
            cp "$work/in$i.png" "$work/f$i.png"
        else
            "$apply" "$work/in$i.png" "$work/f$i.png" "$@" 2>/dev/null
        fi
        convert "$work/f$i.png" -crop "${w}x${h}+$ox+$oy" +repage "$work/c$i.png"
        tiles+=("$work/c$i.png")
    done
    convert "${tiles[@]}" +append -background white -gravity south -splice 0x18 \
        -pointsize 13 -annotate +0+2 "$name" -bordercolor white -border 3 "$target"
}

# A preset file's attribute, in thousandths.
attr() { sed -n "s/.* $1=\"\([0-9]*\)\".*/\1/p" "$2" | head -n1; }
value() { awk -v v="$(attr "$1" "$2")" 'BEGIN { printf "%.3f", v / 1000 }'; }

cells=()
cell "Original" "$work/cell-0.png"
cells+=("$work/cell-0.png")
k=1
for file in "${presets[@]}"; do
    name=$(sed -n 's/.*<\([A-Za-z0-9_-]*\) Mod=.*/\1/p' "$file" | head -n1)
    cell "${name//_/ }" "$work/cell-$k.png" \
        cleanStrength="$(value CIT "$file")" cleanRadius="$(value CRD "$file")" \
        cleanThreshold="$(value CTH "$file")" edgeSharpness="$(value ESP "$file")" \
        edgeRadius="$(value ERD "$file")" edgeAccent="$(value ELA "$file")" \
        textureStrength="$(value TKT "$file")" textureBoost="$(value TBT "$file")" \
        textureSize="$(value TRN "$file")"
    cells+=("$work/cell-$k.png")
    k=$((k + 1))
done

rows=()
for ((i = 0; i < ${#cells[@]}; i += per_row)); do
    convert "${cells[@]:i:per_row}" -background white +append "$work/row$i.png"
    rows+=("$work/row$i.png")
done
mkdir -p "$(dirname "$out")"
convert "${rows[@]}" -background white -gravity west -append +repage \
    -sampling-factor 4:2:0 -strip -quality 82 "$out"
echo "$out"
