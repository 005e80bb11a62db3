#!/usr/bin/env bash
# Runs a Windows program under Wine and returns its exit code:  wine-run.sh program.exe [arguments...]
# The CMake toolchain names it as the emulator, so ctest and GoogleTest's test discovery run the Windows test
# programs through it.
#   - The Wine prefix is private to the Windows build folder (WINEPREFIX overrides it) and is made on first use.
#   - Wine's own diagnostics are off unless WINEDEBUG says otherwise.
#   - Windows need an X display: without DISPLAY the program runs on a virtual one (xvfb-run). A caller that runs
#     many programs starts one Xvfb itself and sets DISPLAY (see test.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${SOLVANE_WIN_BUILD:-$here/../../build-win}
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# Without this, a new prefix offers to download Mono and Gecko, which nothing here needs.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Two programs started at once (ctest -j) must not both make the prefix.
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot --init >/dev/null 2>&1 || true
      wineserver --wait || true
    fi
  ) 9>"$WINEPREFIX.lock"
fi

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a wine "$@"
fi
exec wine "$@"
