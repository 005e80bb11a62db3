#!/usr/bin/env bash
# Builds glbinding 2.1 from Debian's source package as a static Windows library and installs it into
# build-win/deps/glbinding (a CMake package: find_package(glbinding) gives glbinding::glbinding, which carries the
# GLBINDING_STATIC_DEFINE and SYSTEM_WINDOWS definitions and links opengl32). Does nothing when already installed.
set -euo pipefail
# shellcheck source=common.sh # the same folder as this script (.shellcheckrc: source-path=SCRIPTDIR)
source "$(dirname "$0")/common.sh"

prefix=$win_deps/glbinding
if win_installed "$prefix"; then
  echo "glbinding: already installed in $prefix"
  exit 0
fi
src=$(win_fetch_source glbinding)
win_build_dependency glbinding "$src" \
  -DBUILD_SHARED_LIBS=OFF \
  -DOPTION_BUILD_TESTS=OFF \
  -DOPTION_BUILD_GPU_TESTS=OFF \
  -DOPTION_BUILD_EXAMPLES=OFF \
  -DOPTION_BUILD_DOCS=OFF
