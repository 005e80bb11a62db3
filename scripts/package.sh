#!/usr/bin/env bash
# Builds the Linux packages:
#   BUILD/packages/ostrel-solvane_<version>-1_amd64.deb        the Debian package (cpack -G DEB)
#   BUILD/packages/ostrel-solvane-<version>-linux-x86_64.tar.gz the tarball for other distributions (cpack -G TGZ)
# Both hold what the install rules install; the tarball adds the libraries of the "bundled" component and its read-me.
# Installs what building and packaging need first (scripts/setup.sh --package). BUILD is build-package/, configured
# without the tests so that only what is packaged is built; SOLVANE_BUILD names another build folder, used as it is
# configured (the test command packages its own build, tests and all). Extra arguments go to cpack (e.g. -G DEB for
# one of them).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --package
build=${SOLVANE_BUILD:-build-package}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOLVANE_BUILD_TESTS=OFF
fi
cmake --build "$build" -j "$(nproc)"
packages=$(cd "$build" && pwd)/packages
rm -rf "$packages/_CPack_Packages"
(cd "$build" && cpack --config CPackConfig.cmake -B "$packages" "$@")
rm -rf "$packages/_CPack_Packages"
ls -l "$packages"
