#!/usr/bin/env bash
# Sets up the machine, builds the plug-in, its engine and the host, and filters the bundled
# sample photograph with the default settings: out/sample-glazed.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$(nproc)" --target glazehost VarenGlaze2 vwiglaze21_x64
mkdir -p out
scripts/glazehost.sh samples/sample.png out/sample-glazed.png "$@"
echo "wrote out/sample-glazed.png"
