#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 / Ubuntu machine (run as root).
# Usage: scripts/setup.sh [--bench]   (--bench adds OpenCV, used only by the benchmarks)
set -euo pipefail
pkgs=(cmake ninja-build g++ clang python3 googletest libbenchmark-dev
      g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 fonts-wine xvfb xauth)
# Packaging: makensis builds the installer, WeasyPrint the user's guide (set in DejaVu),
# poppler renders the guide's pages in its test. WeasyPrint's fonttools pulls in scipy unless
# the two small alternatives are installed with it: about 100 MB instead of 300.
packaging=(nsis weasyprint fonts-dejavu-core poppler-utils python3-munkres python3-defcon)
[ "${1:-}" = --bench ] && pkgs+=(libopencv-dev)
# clang's libFuzzer runtime: with it the fuzz targets really fuzz, without it they only replay.
optional=(libclang-rt-14-dev)

updated=0
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    updated=1
    apt-get install -y -qq "${missing[@]}" >/dev/null
fi
missing=()
for p in "${packaging[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    [ $updated = 1 ] || apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi
for p in "${optional[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' && continue
    [ -n "$(apt-cache policy "$p" 2>/dev/null | grep Candidate | grep -v none)" ] || continue
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$p" >/dev/null || true
done
