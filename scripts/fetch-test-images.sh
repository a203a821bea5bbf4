#!/usr/bin/env bash
# Fetches the test photographs used by the engine's benchmark and contact sheet from Debian
# packages (downloaded, unpacked locally, never installed) into build/test-images/.
# With --more, also a wider set for looking at the look on photographs our tests do not hold
# (about 140 MB more to download): grass, flowers, water, fog, dark skies, planks, pebbles,
# forest, clouds.
# Usage: scripts/fetch-test-images.sh [--more] [DEST]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
more=0
if [ "${1:-}" = --more ]; then
    more=1
    shift
fi
dest=${1:-$root/build/test-images}
mkdir -p "$dest/pkg"
cd "$dest/pkg"
pkgs="lomiri-wallpapers-16.04 lomiri-wallpapers-20.04 python3-skimage"
[ $more = 0 ] || pkgs="$pkgs mate-backgrounds plasma-workspace-wallpapers"
for pkg in $pkgs; do
    if ! ls ${pkg}_*.deb >/dev/null 2>&1; then
        apt-get download "$pkg"
    fi
    [ -d "x-$pkg" ] || dpkg-deb -x ${pkg}_*.deb "x-$pkg"
done
bg=x-lomiri-wallpapers-16.04/usr/share/backgrounds
bg20=x-lomiri-wallpapers-20.04/usr/share/backgrounds
sk=$(find x-python3-skimage -type d -path '*skimage/data' | head -n1)
link() { [ -f "$1" ] && ln -sf "$(pwd)/$1" "$dest/$2"; }
link "$bg/seeding_by_Clements_Engelhardt.jpg" seeding.jpg
link "$bg/sunset_by_Aitzol_Berasategi.jpg" sunset.jpg
link "$bg/Dragonfly_by_Bolly.jpg" dragonfly.jpg
link "$bg/Bridge_by_Sander_Klootwijk.jpg" bridge.jpg
link "$bg20/Kleiber_by_Lukas_Baubkus.jpg" bird.jpg
link "$bg20/Infinite-Sea_by_Aury88.jpg" nightsea.jpg
for f in astronaut.png chelsea.png coffee.png brick.png grass.png; do
    link "$sk/$f" "$f" || true
done
if [ $more = 1 ]; then
    mate=x-mate-backgrounds/usr/share/backgrounds/mate/nature
    for f in Aqua Blinds Dune GreenMeadow Storm TwoWings Wood; do
        link "$mate/$f.jpg" "$(echo $f | tr A-Z a-z).jpg"
    done
    kde=x-plasma-workspace-wallpapers/usr/share/wallpapers
    for f in BytheWater ColdRipple DarkestHour EveningGlow FallenLeaf Grey Kite OneStandsOut \
             Path summer_1am; do
        link "$kde/$f/contents/images/2560x1600.jpg" "$(echo $f | tr A-Z a-z).jpg"
    done
    link "$kde/Volna/contents/images/5120x2880.jpg" volna.jpg
fi
ls -l "$dest"
