#!/usr/bin/env bash
# Sets up the machine, builds both configurations and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"

status=0
ctest --preset native || status=1
ctest --preset win64 || status=1
# Flush the test prefix's registry and stop its server so nothing outlives the run.
WINEPREFIX=$PWD/build/win64/wineprefix /usr/lib/wine/wineserver -k 2>/dev/null || true
exit $status
