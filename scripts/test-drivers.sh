#!/usr/bin/env bash
# The effect on Mesa's two other OpenGL drivers, after the Linux suite has run on llvmpipe (scripts/test.sh, stage 1);
# scripts/gl-driver.sh chooses the driver for each:
#   zink (OpenGL 4.6 on lavapipe, about llvmpipe's speed): the GL suite and the host tests;
#   softpipe (OpenGL 3.3 core, 5 to 16 times llvmpipe's time): the GL suite less the cases listed below.
# Needs a build with the tests in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${SOLVANE_JOBS:-$(nproc)}"
# The GL cases left out on softpipe (each takes from one to ten minutes there), and what covers the same ground:
# far centres in eight directions, beyond the texture limits, from a bounded and from the whole box, and the slanted
# bound on large frames: PassChainGLTest's bounded-box sums, and the far centre and every quality of
# DriverAgreementHostTest; glbinding's states over hundreds of contexts: the context tests, on fewer.
softpipe_slow=(
  'LightShaftRendererGLTest\.FarCentresInEveryDirectionMatchTheReference'
  'LightShaftRendererGLTest\.TheSlantedBoundRendersTheBytesOfTheWholeMargin'
  'LightShaftRendererGLTest\.CentresBeyondAnyTextureLimitRender'
  'LightShaftRendererGLTest\.AFarCentreRendersFromABoundedBoxAsFromTheWholeOne'
  'ContextBinding\.ContextsMadeOverAndOverKeepGlbindingsStatesFew'
)
slow_pattern=$(
  IFS='|'
  echo "${softpipe_slow[*]}"
)
start=$SECONDS
scripts/gl-driver.sh zink ctest --test-dir build --output-on-failure -j "$jobs" -L '^(gl|host)$'
echo "drivers: zink done after $((SECONDS - start)) s"
start=$SECONDS
scripts/gl-driver.sh softpipe ctest --test-dir build --output-on-failure -j "$jobs" -L '^gl$' -E "$slow_pattern"
echo "drivers: softpipe done after $((SECONDS - start)) s"
