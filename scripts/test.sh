#!/usr/bin/env bash
# Installs what the build and the tests need, checks the scripts with shellcheck, builds, and runs the whole test
# suite, in five stages:
#   1. the Linux build (build/) and its tests, on llvmpipe, then on zink and softpipe (scripts/test-drivers.sh);
#   2. a render farm on a real one-node Slurm cluster on this machine (scripts/slurm/test-cluster.sh; needs root);
#   3. a short run of each fuzz target (scripts/fuzz.sh, build-fuzz/);
#   4. the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer (scripts/sanitize.sh, build-asan/);
#   5. the Windows stage (scripts/windows/test.sh: the cross build in build-win/, its tests and a sample render under
#      Wine, checked against the Linux build).
# After stage 1, the packages are built and tested (scripts/test-packages.sh; SOLVANE_SKIP_PACKAGES=1 leaves it out).
# SOLVANE_SKIP_SLURM=1, SOLVANE_SKIP_FUZZ=1, SOLVANE_SKIP_SANITIZE=1 and SOLVANE_SKIP_WINDOWS=1 leave out stages 2 to 5
# for a quick local run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
scripts/shellcheck.sh
scripts/build.sh -DSOLVANE_BUILD_TESTS=ON
ctest --test-dir build --output-on-failure -j "$(nproc)"
# The GL suite and the host tests on zink, the GL suite on softpipe (scripts/test-drivers.sh; SOLVANE_SKIP_DRIVERS=1
# leaves it out).
if [ "${SOLVANE_SKIP_DRIVERS:-0}" = 1 ]; then
  echo "test: zink and softpipe stages skipped (SOLVANE_SKIP_DRIVERS=1)"
else
  scripts/test-drivers.sh
fi
# The packages: install and uninstall, the tarball, the Debian package (scripts/test-packages.sh, about a minute).
if [ "${SOLVANE_SKIP_PACKAGES:-0}" = 1 ]; then
  echo "test: packaging stage skipped (SOLVANE_SKIP_PACKAGES=1)"
else
  timeout 1200 scripts/test-packages.sh
fi
if [ "${SOLVANE_SKIP_SLURM:-0}" = 1 ]; then
  echo "test: Slurm stage skipped (SOLVANE_SKIP_SLURM=1)"
else
  scripts/slurm/test-cluster.sh
fi
if [ "${SOLVANE_SKIP_FUZZ:-0}" = 1 ]; then
  echo "test: fuzz stage skipped (SOLVANE_SKIP_FUZZ=1)"
else
  scripts/fuzz.sh 10
fi
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
