#!/usr/bin/env bash
# The Windows stage: cross-builds for Windows (build.sh), checks the products against the Linux build's, runs the
# Windows test programs under Wine and renders the sample image with solvane.exe, all on one virtual X display, then
# tests the installer and the zip (test-installer.sh).
# The Windows render must equal the Linux render of the same image with the same options (the WindowsRender tests
# compare them pixel for pixel). Extra arguments go to ctest.
#   SOLVANE_LINUX_BUILD  the Linux build that gives the reference (default build/; configured here when it is not
#                        yet, and its plug-in and solvane brought up to date)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=common.sh # the same folder as this script (.shellcheckrc: source-path=SCRIPTDIR)
source "$here/common.sh"
project=$win_build/project
linux_build=${SOLVANE_LINUX_BUILD:-$win_repo/build}
sample=$win_repo/examples/sample.png
render_options="--center 420,150"
stage_start=$SECONDS

"$here/build.sh"
echo "windows: built after $((SECONDS - stage_start)) s"

# The reference from the Linux build: its registration resource section and its render of the sample image.
if [ ! -f "$linux_build/CMakeCache.txt" ]; then
  "$win_repo/scripts/setup.sh" --test
  cmake -S "$win_repo" -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$linux_build" -j "$win_jobs" --target OstrelSolvane solvane
linux_pipl=$win_build/linux.pipl
linux_render=$win_build/linux-sample-shafts.png
objcopy -O binary --only-section=.pipl "$linux_build/OstrelSolvane.aex" "$linux_pipl"
# shellcheck disable=SC2086 # the options are words
"$linux_build/solvane" render "$sample" "$linux_render" $render_options >/dev/null

"$here/inspect.sh" "$project/OstrelSolvane.aex" "$linux_pipl"
"$here/inspect.sh" "$project/solvane.exe"

# The Wine prefix of wine-run.sh, named here too so that the Wine server can be waited for.
export WINEPREFIX=${WINEPREFIX:-$win_build/wineprefix}
export SOLVANE_REFERENCE_RENDER=$linux_render
export SOLVANE_REFERENCE_OPTIONS=$render_options
export SOLVANE_CTEST_ARGS="$*"
render_log=$project/sample-render.log
rm -f "$render_log"
# One virtual display and one Wine server for everything. The prefix and the server (with its desktop on this
# display) are made first, so that no test pays for them; a server left over from an earlier display would make the
# first program that opens a window wait for half a minute. The server is waited for before the display goes.
status=0
# shellcheck disable=SC2016 # the inner script expands its own arguments and variables, not this one's
xvfb-run -a bash -c '
  set -euo pipefail
  wineserver --wait || true
  "$2/wine-run.sh" cmd.exe /c exit 0
  status=0
  ctest --test-dir "$0" --output-on-failure -j "$1" $SOLVANE_CTEST_ARGS || status=$?
  if [ "$status" -eq 0 ]; then
    "$2/wine-run.sh" "$0/solvane.exe" render --verbose "$3" "$0/sample-shafts.png" $SOLVANE_REFERENCE_OPTIONS >"$4" 2>&1 ||
      status=$?
  fi
  wineserver --wait || true
  exit "$status"
' "$project" "$win_jobs" "$here" "$sample" "$render_log" || status=$?

# The identification blocks (--verbose): the shared context at global set-up, then the rendering thread's context.
if [ -f "$render_log" ]; then
  echo "== solvane.exe render $render_options: what it printed"
  cat "$render_log"
fi
[ "$status" -eq 0 ] || exit "$status"
# A block's version line reads "OpenGL Version:  MAJOR.MINOR" on every driver, 4.6 ones too (and, written through
# the Windows C library, ends in a carriage return); "-.-" or anything else fails the count.
blocks=$(grep -Ec $'^OpenGL Version:  [0-9]+\\.[0-9]+\r?$' "$render_log" || true)
if [ "$blocks" -ne 2 ]; then
  echo "windows: the render printed $blocks identification blocks, not 2 (shared context, rendering thread)" >&2
  exit 1
fi
if cmp -s "$project/sample-shafts.png" "$linux_render"; then
  echo "windows: $project/sample-shafts.png is byte for byte the Linux render $linux_render"
else
  # The WindowsRender test compares the pixels; the files may still differ in how they are compressed.
  echo "windows: $project/sample-shafts.png differs from $linux_render in its bytes (pixels: see WindowsRender)"
fi
# The installer and the zip, silently under Wine (test-installer.sh).
timeout 900 "$here/test-installer.sh"
echo "windows: stage done after $((SECONDS - stage_start)) s"
