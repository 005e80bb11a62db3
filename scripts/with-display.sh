#!/usr/bin/env bash
# Runs a command on a virtual X display of its own (Xvfb through xvfb-run). xvfb-run -a takes the first free display
# number from the one given, and two runs started at once (ctest -j) can take the same one: each run starts its
# search at a number of its own.
set -euo pipefail
exec xvfb-run -a -n $((300 + $$ % 20000)) -s "-screen 0 1280x720x24" "$@"
