#!/usr/bin/env bash
# Installs every Debian package that the build, the main job and the tests need.
set -euo pipefail
packages=(
  build-essential cmake pkg-config binutils
  libglbinding-dev
  libegl-dev libegl-mesa0 libgl1-mesa-dri libgl-dev
  libpng-dev
  googletest libgtest-dev
  # the frei0r module: its header, and the frei0r hosts its tests drive
  frei0r-plugins-dev ffmpeg melt
  # the fuzz targets (scripts/fuzz.sh): clang and its libFuzzer and sanitizer runtimes
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
