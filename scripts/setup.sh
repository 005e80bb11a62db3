#!/usr/bin/env bash
# Installs the Debian packages that are missing.
#   scripts/setup.sh          what the main job needs to build the products and render the sample: the compiler,
#                             CMake, glbinding, EGL and Mesa, libpng, libjpeg-turbo, libtiff and libwebp, and frei0r's
#                             one header for the frei0r module
#   scripts/setup.sh --package  that and what scripts/package.sh needs besides: dpkg-shlibdeps and fakeroot for
#                             CPack's Debian package, patchelf for the run path of the tarball's libraries
#   scripts/setup.sh --test   that and what the test command needs besides: GoogleTest, the frei0r clients and the
#                             editors the tests drive, the checkers of the editors' files and of the scripts, clang
#                             for the fuzz targets, pybind11, numpy and pytest for the Python module
set -euo pipefail
main_packages=(
  build-essential cmake pkg-config binutils
  libglbinding-dev
  libegl-dev libegl-mesa0 libgl1-mesa-dri libgl-dev
  libpng-dev
  # solvane's other image formats, each through its own library
  libjpeg62-turbo-dev libtiff-dev libwebp-dev
  # the frei0r module's header (frei0r.h, nothing else)
  frei0r-plugins-dev
)
test_packages=(
  googletest libgtest-dev
  # the frei0r hosts the tests drive, and mpv, whose lavfi filter is the live preview of docs/frei0r.md
  ffmpeg melt mpv
  # the other frei0r clients and the editors' descriptions: GStreamer's frei0r elements, xmllint for Kdenlive's
  # effect XML, qmllint for Shotcut's QML, and a virtual X display for MLT's Qt services in Kdenlive's projects
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  libxml2-utils qtdeclarative5-dev-tools xvfb xauth
  # Shotcut's own QML controls, and Qt's qmlscene to load the player overlay with them
  shotcut qmlscene
  # Kdenlive itself, where KdenliveCentreTest types a centre into the effect's field (scripts/kdenlive-centre-test.sh:
  # Kdenlive on its own bus's session, driven with xdotool and ImageMagick below)
  kdenlive dbus-daemon
  # the packages (scripts/package.sh, scripts/test-packages.sh): dpkg-shlibdeps and fakeroot for CPack's Debian
  # package, lintian to check it, patchelf for the run path of the tarball's libraries, file for the tarball's check,
  # man and bash-completion to check the man page and the completion
  dpkg-dev fakeroot lintian patchelf file man-db bash-completion
  # the OBS Studio module: libobs's headers and X11's for its tests' libobs program, and OBS itself (its image
  # source and the recording test), on a virtual X display, checked with ffmpeg; ImageMagick and x11-utils for the
  # screenshot of its documentation (scripts/obs-screenshot.sh, with ImageMagick below)
  obs-studio libobs-dev libx11-dev x11-utils
  # the GIMP plug-in (gimp/): GIMP 2.10's development files, and GIMP itself, whose gimp-console-2.10 runs its tests;
  # xdotool and imagemagick take the dialog's picture for docs/gimp.md (scripts/gimp-screenshot.sh)
  libgimp2.0-dev gimp xdotool imagemagick
  # the fuzz targets (scripts/fuzz.sh): clang and its libFuzzer and sanitizer runtimes
  clang libclang-rt-14-dev
  # the checker of the scripts (scripts/shellcheck.sh)
  shellcheck
  # the Python module (python/, built when pybind11 and numpy are there) and its pytest suite, which reads and
  # writes PNG files through Pillow
  pybind11-dev python3-dev python3-numpy python3-pytest python3-pil
  # lavapipe, Mesa's Vulkan software driver, under zink: the OpenGL 4.6 driver of the test command's zink stage
  # (scripts/gl-driver.sh)
  mesa-vulkan-drivers
)
packages=("${main_packages[@]}")
case "${1:-}" in
  "") ;;
  --test) packages+=("${test_packages[@]}") ;;
  --package) packages+=(dpkg-dev fakeroot patchelf) ;;
  *)
    echo "usage: scripts/setup.sh [--test | --package]" >&2
    exit 2
    ;;
esac
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
