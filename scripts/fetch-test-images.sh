#!/usr/bin/env bash
# Fetches the test photographs used by the engine's benchmark and contact sheet from Debian
# packages (downloaded, unpacked locally, never installed) into build/test-images/.
# Usage: scripts/fetch-test-images.sh [DEST]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
dest=${1:-$root/build/test-images}
mkdir -p "$dest/pkg"
cd "$dest/pkg"
for pkg in lomiri-wallpapers-16.04 python3-skimage; do
    if ! ls ${pkg}_*.deb >/dev/null 2>&1; then
        apt-get download "$pkg"
    fi
    [ -d "x-$pkg" ] || dpkg-deb -x ${pkg}_*.deb "x-$pkg"
done
bg=x-lomiri-wallpapers-16.04/usr/share/backgrounds
sk=$(find x-python3-skimage -type d -path '*skimage/data' | head -n1)
link() { [ -f "$1" ] && ln -sf "$(pwd)/$1" "$dest/$2"; }
link "$bg/seeding_by_Clements_Engelhardt.jpg" seeding.jpg
link "$bg/sunset_by_Aitzol_Berasategi.jpg" sunset.jpg
link "$bg/Dragonfly_by_Bolly.jpg" dragonfly.jpg
link "$bg/Bridge_by_Sander_Klootwijk.jpg" bridge.jpg
for f in astronaut.png chelsea.png coffee.png brick.png grass.png; do
    link "$sk/$f" "$f" || true
done
ls -l "$dest"
