#!/usr/bin/env bash
# Checks the user's guide as a reader gets it: the PDF opens, holds every chapter and section
# the product needs explained, carries its pictures, no template text is left in it, and every
# page renders with something on it.
# Usage: check-guide.sh GUIDE.pdf WORK_DIR
set -u
pdf=$1
work=$2
fail=0
problem() { echo "check-guide: $*" >&2; fail=1; }

pages=$(pdfinfo "$pdf" 2>/dev/null | sed -n 's/^Pages: *//p')
[ -n "$pages" ] || { echo "check-guide: $pdf does not open" >&2; exit 1; }
[ "$pages" -ge 12 ] || problem "only $pages pages"

text=$(pdftotext -layout "$pdf" - 2>/dev/null)
sections=(
    "Contents" "Introduction" "Installation" "With the installer" "Installing without questions"
    "By hand" "Uninstalling" "Using the filter" "The dialog" "Keyboard"
    "Actions and repeating the filter" "The nine parameters" "Clean" "Edges" "Texture"
    "Strength" "Radius" "Threshold" "Sharpness" "Accent" "Boost" "Size"
    "Presets" "Preset commands" "Where presets are kept" "Preferences and the Menu"
    "Preferences" "glazehost: filtering without an image editor" "One image" "Batches"
    "Image editors" "Troubleshooting" "The trace log" "VWTRACE" "vwtrace.txt"
    "UsersGuide.pdf" "InstallPath" "Version 2.1.0")
for s in "${sections[@]}"; do
    grep -qF -- "$s" <<<"$text" || problem "no \"$s\" in the text"
done
for leftover in "{{" "}}" "made by the tests"; do
    grep -qF -- "$leftover" <<<"$text" && problem "template text \"$leftover\" left in the guide"
done

# The parameter crops, the cover pair and the dialog pictures.
images=$(pdfimages -list "$pdf" 2>/dev/null | tail -n +3 | wc -l)
[ "$images" -ge 22 ] || problem "only $images pictures"

rm -rf "$work"
mkdir -p "$work"
pdftoppm -r 24 -gray "$pdf" "$work/page" || problem "pages do not render"
rendered=$(ls "$work"/page-*.pgm 2>/dev/null | wc -l)
[ "$rendered" = "$pages" ] || problem "$rendered of $pages pages rendered"
# A page with nothing on it renders all white: its darkest pixel is the paper.
for f in "$work"/page-*.pgm; do
    darkest=$(/usr/bin/python3 -c 'import sys; from PIL import Image; print(min(Image.open(sys.argv[1]).getdata()))' "$f")
    [ "$darkest" -lt 128 ] || problem "$(basename "$f") is blank"
done
[ $fail = 0 ] && rm -rf "$work" && echo "check-guide: $pages pages, $images pictures"
exit $fail
