#!/usr/bin/env bash
# Builds the user's guide PDF (see build.py).
# Usage: docs/guide/build.sh BUILD_DIR OUT.pdf
set -euo pipefail
# Debian's Python, which has WeasyPrint's Pillow (a python3 earlier in PATH may not).
exec /usr/bin/python3 "$(dirname "$0")/build.py" "$@"
