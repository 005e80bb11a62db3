#!/usr/bin/env bash
# Builds GoogleTest and GoogleMock for Windows from the sources that Debian's googletest package puts in
# /usr/src/googletest, static, into build-win/deps/googletest (a CMake package: find_package(GTest) gives
# GTest::gtest, GTest::gtest_main, GTest::gmock). Does nothing when already installed.
set -euo pipefail
# shellcheck source=common.sh # the same folder as this script (.shellcheckrc: source-path=SCRIPTDIR)
source "$(dirname "$0")/common.sh"

prefix=$win_deps/googletest
if win_installed "$prefix"; then
  echo "googletest: already installed in $prefix"
  exit 0
fi
src=/usr/src/googletest
[ -f "$src/CMakeLists.txt" ] || { echo "googletest: $src is missing (Debian package googletest)" >&2; exit 1; }
win_build_dependency googletest "$src" \
  -DBUILD_SHARED_LIBS=OFF \
  -DBUILD_GMOCK=ON \
  -DINSTALL_GTEST=ON
