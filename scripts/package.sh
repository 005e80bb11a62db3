#!/usr/bin/env bash
# Builds the Linux packages from the build in build/ (configured and built here when it is not yet):
#   build/packages/ostrel-solvane_<version>-1_amd64.deb        the Debian package (cpack -G DEB)
#   build/packages/ostrel-solvane-<version>-linux-x86_64.tar.gz the tarball for other distributions (cpack -G TGZ)
# Both hold what the install rules install; the tarball adds the libraries of the "bundled" component.
# SOLVANE_BUILD names another build folder. Extra arguments go to cpack (e.g. -G DEB for one of them).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${SOLVANE_BUILD:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j "$(nproc)"
packages=$(cd "$build" && pwd)/packages
rm -rf "$packages/_CPack_Packages"
(cd "$build" && cpack --config CPackConfig.cmake -B "$packages" "$@")
rm -rf "$packages/_CPack_Packages"
ls -l "$packages"
