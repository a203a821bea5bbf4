#!/usr/bin/env bash
# Builds the user's guide PDF.
# Usage: docs/guide/build.sh BUILD_DIR OUT.pdf
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
pdf=$2
weasyprint "$here/UsersGuide.html" "$pdf"
