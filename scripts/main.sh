#!/usr/bin/env bash
# Installs what the build needs, builds the products (not the tests), and renders the bundled sample image.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh -DSOLVANE_BUILD_TESTS=OFF
build/solvane render examples/sample.png build/sample-shafts.png --center 420,150
echo "Wrote build/sample-shafts.png"
