#!/usr/bin/env bash
# Builds libpng 1.6 from Debian's source package as a static Windows library and installs it into
# build-win/deps/libpng; CMake's FindPNG then finds it, with Debian's static MinGW zlib (libz-mingw-w64-dev) as
# its ZLIB::ZLIB. Does nothing when already installed.
set -euo pipefail
# shellcheck source=common.sh # the same folder as this script (.shellcheckrc: source-path=SCRIPTDIR)
source "$(dirname "$0")/common.sh"

prefix=$win_deps/libpng
if win_installed "$prefix"; then
  echo "libpng: already installed in $prefix"
  exit 0
fi
src=$(win_fetch_source libpng1.6)
win_build_dependency libpng "$src" \
  -DPNG_SHARED=OFF \
  -DPNG_STATIC=ON \
  -DPNG_EXECUTABLES=OFF \
  -DPNG_TESTS=OFF
