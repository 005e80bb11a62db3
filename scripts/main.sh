#!/usr/bin/env bash
# Installs what is needed, builds, and renders the bundled sample image.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
build/solvane render examples/sample.png build/sample-shafts.png --center 420,150
echo "Wrote build/sample-shafts.png"
