#!/usr/bin/env bash
# Cross-builds the project for 64-bit Windows into build-win/project: OstrelSolvane.aex, solvane.exe and the
# Windows test programs. Installs the packages and builds the Windows libraries first where they are missing
# (they are kept in build-win/deps, so later runs skip them). Extra arguments go to the CMake configure step.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=common.sh # the same folder as this script (.shellcheckrc: source-path=SCRIPTDIR)
source "$here/common.sh"

"$here/setup.sh"
"$here/build-glbinding.sh"
"$here/build-libpng.sh"
"$here/build-googletest.sh"

project=$win_build/project
cmake -S "$win_repo" -B "$project" \
  -DCMAKE_TOOLCHAIN_FILE="$win_toolchain" \
  -DSOLVANE_WINDOWS_DEPS="$win_deps" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "$@"
cmake --build "$project" -j "$win_jobs"
