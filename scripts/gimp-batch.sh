#!/usr/bin/env bash
# Runs Script-Fu expressions in GIMP 2.10's batch mode with the plug-in folder given and
# nothing else but GIMP's PNG loader and Script-Fu: in a temporary home and GIMP folder
# of its own (removed afterwards), bounded in time, so that a run never waits for ever
# (GIMP waits for ever on a batch interpreter it lacks) and never reads or changes the
# user's GIMP settings.
#
#   scripts/gimp-batch.sh [--gui] PLUGIN-FOLDER EXPRESSION...
#
# PLUGIN-FOLDER holds ostrel-solvane/ostrel-solvane (a build's or an installation's
# lib/gimp/2.0/plug-ins). --gui runs the full gimp-2.10 (for a dialog on a display)
# instead of gimp-console-2.10. SOLVANE_GIMP_TIMEOUT (seconds, default 120) bounds the
# run. GIMP's exit status says little (0 also when a batch command failed): callers
# judge by the files the expressions save. The status is timeout's 124 when time ran out.
set -euo pipefail

program=gimp-console-2.10
if [ "${1:-}" = "--gui" ]; then
  program=gimp-2.10
  shift
fi
if [ $# -lt 2 ]; then
  echo "usage: $0 [--gui] PLUGIN-FOLDER EXPRESSION..." >&2
  exit 2
fi
plugins=$(cd "$1" && pwd)
shift

system_plugins="$(pkg-config --variable=gimplibdir gimp-2.0 2>/dev/null || echo /usr/lib/gimp/2.0)/plug-ins"
system_scripts="$(pkg-config --variable=gimpdatadir gimp-2.0 2>/dev/null || echo /usr/share/gimp/2.0)/scripts"
work=$(mktemp -d "${TMPDIR:-/tmp}/solvane-gimp.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/system" "$work/scripts"
for p in file-png script-fu; do
  ln -s "$system_plugins/$p" "$work/system/$p"
done
# Script-Fu's own start-up files, without the scripts of GIMP's menus: they take seconds to load.
for f in "$system_scripts"/*.init; do
  ln -s "$f" "$work/scripts/"
done
# The folders GIMP writes its resources into at exit, so that it need not complain.
for d in brushes dynamics fonts gradients palettes patterns tool-presets; do
  mkdir -p "$work/gimp/$d"
done
printf '(plug-in-path "%s:%s")\n(script-fu-path "%s")\n' "$work/system" "$plugins" "$work/scripts" \
  > "$work/gimp/gimprc"

batch=()
for expression in "$@"; do
  batch+=(-b "$expression")
done
status=0
HOME="$work/home" GIMP2_DIRECTORY="$work/gimp" timeout --kill-after=10 "${SOLVANE_GIMP_TIMEOUT:-120}" \
  "$program" -i -d -f --no-shm "${batch[@]}" -b '(gimp-quit 0)' < /dev/null || status=$?
exit "$status"
