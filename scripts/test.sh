#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite, in three stages:
#   1. the Linux build (build/) and its tests;
#   2. the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer (scripts/sanitize.sh, build-asan/);
#   3. the Windows stage (scripts/windows/test.sh: the cross build in build-win/, its tests and a sample render under
#      Wine, checked against the Linux build).
# SOLVANE_SKIP_SANITIZE=1 and SOLVANE_SKIP_WINDOWS=1 leave out stages 2 and 3 for a quick local run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
ctest --test-dir build --output-on-failure -j "$(nproc)"
if [ "${SOLVANE_SKIP_SANITIZE:-0}" = 1 ]; then
  echo "test: sanitizer stage skipped (SOLVANE_SKIP_SANITIZE=1)"
else
  scripts/sanitize.sh
fi
if [ "${SOLVANE_SKIP_WINDOWS:-0}" = 1 ]; then
  echo "test: Windows stage skipped (SOLVANE_SKIP_WINDOWS=1)"
  exit 0
fi
SOLVANE_LINUX_BUILD="$PWD/build" SOLVANE_JOBS="${SOLVANE_JOBS:-$(nproc)}" scripts/windows/test.sh
