#!/usr/bin/env bash
# Builds the Windows installer with the user's guide inside:
#   build/win64/package/VarenGlaze2-<version>-x64-setup.exe, and UsersGuide.pdf beside it.
# Usage: scripts/package.sh [--no-build] [BUILD_DIR]
#   BUILD_DIR   the win64 build (default build/win64)
#   --no-build  use the binaries already built there (the tests do this)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/win64
do_build=1
for a in "$@"; do
    case $a in
        --no-build) do_build=0 ;;
        -*) echo "package.sh: unknown option $a" >&2; exit 2 ;;
        *) build=$(cd "$a" && pwd) ;;
    esac
done

if [ $do_build = 1 ]; then
    "$root/scripts/setup.sh"
    (cd "$root" && cmake --preset win64 >/dev/null &&
        cmake --build --preset win64 -j "$(nproc)" --target VarenGlaze2 vwiglaze21_x64 \
            glazehost presets_data guide_pictures)
fi

version=$(sed -n 's/^project(VarenGlaze2 VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "package.sh: no version in CMakeLists.txt" >&2; exit 1; }
out=$build/package
mkdir -p "$out"

# The user's guide, with its pictures made by this build's engine and dialog.
"$root/docs/guide/build.sh" "$build" "$out/UsersGuide.pdf"

# The predefined presets, each with its size for the uninstaller's check.
presets=$out/presets.nsh
: >"$presets"
for f in "$root"/presets/data/*.vpp; do
    printf '!insertmacro ${PRESET_MACRO} "%s" %s\n' "$(basename "$f")" "$(stat -c %s "$f")" \
        >>"$presets"
done

setup=$out/VarenGlaze2-$version-x64-setup.exe
makensis -V2 -WX -DVERSION="$version" -DBINDIR="$build/host" -DPRESETS="$presets" \
    -DPRESETDIR="$root/presets/data" -DGUIDE="$out/UsersGuide.pdf" -DOUTFILE="$setup" \
    "$root/installer/VarenGlaze2.nsi"
echo "$setup"
