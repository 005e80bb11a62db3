#!/usr/bin/env bash
# Runs a command with OpenGL from one of Mesa's three drivers: the one place that chooses the driver, for the tests
# and by hand.
#   scripts/gl-driver.sh llvmpipe COMMAND [ARGUMENTS...]   Mesa's default software driver (OpenGL 4.5 core)
#   scripts/gl-driver.sh softpipe COMMAND [ARGUMENTS...]   Gallium's reference driver (OpenGL 3.3 core, the least the
#                                                          effect asks for; 5 to 16 times llvmpipe's time)
#   scripts/gl-driver.sh zink COMMAND [ARGUMENTS...]       OpenGL 4.6 on Vulkan through lavapipe (mesa-vulkan-drivers)
# The command sees the driver's name in SOLVANE_GL_DRIVER; its exit status is the script's.
set -euo pipefail
usage() {
  echo "usage: scripts/gl-driver.sh llvmpipe|softpipe|zink COMMAND [ARGUMENTS...]" >&2
  exit 2
}
[ $# -ge 2 ] || usage
driver=$1
shift
# Whatever the caller's environment chose before is dropped, so that the name given is the driver that runs.
unset GALLIUM_DRIVER LIBGL_ALWAYS_SOFTWARE MESA_LOADER_DRIVER_OVERRIDE
case "$driver" in
  llvmpipe | softpipe) export GALLIUM_DRIVER="$driver" ;;
  zink)
    if ! compgen -G "/usr/share/vulkan/icd.d/lvp_icd.*.json" >/dev/null; then
      echo "gl-driver: zink needs lavapipe, Mesa's Vulkan software driver (package mesa-vulkan-drivers)" >&2
      exit 1
    fi
    # Without LIBGL_ALWAYS_SOFTWARE the loader looks for a hardware screen and EGL does not initialize.
    export LIBGL_ALWAYS_SOFTWARE=1 MESA_LOADER_DRIVER_OVERRIDE=zink
    ;;
  *) usage ;;
esac
export SOLVANE_GL_DRIVER="$driver"
# Mesa's Vulkan window-system code complains on standard error when there is no runtime folder, and the tests read
# what the programs write there: a private one for the run, removed afterwards.
runtime=""
if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -d "${XDG_RUNTIME_DIR}" ]; then
  runtime=$(mktemp -d)
  export XDG_RUNTIME_DIR="$runtime"
fi
status=0
"$@" || status=$?
[ -z "$runtime" ] || rm -rf "$runtime"
exit "$status"
