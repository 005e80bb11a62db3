#!/usr/bin/env bash
# The packaging stage of the test command: installs and uninstalls, the tarball and the Debian package, each part
# bounded in time and leaving the machine as it found it, also when it fails.
#   1. cmake --install into a temporary prefix: an installed solvane renders from any folder with no --plugin, the
#      folders follow the prefix from one install to the next, a relative folder on the command line stays relative,
#      and the uninstall target removes every file again;
#   2. the tarball unpacked into a temporary folder: run there in a clean environment, every library outside the
#      base set resolved inside it, and its frei0r folder used by ffmpeg;
#   3. the Debian package: lintian, then (as root, with apt-get) installed, used from PATH and by melt, GStreamer
#      and ffmpeg without FREI0R_PATH, and removed with nothing left.
# Packages from scripts/package.sh (built here). SOLVANE_SKIP_DEB_INSTALL=1 leaves out the system install of part 3.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=${SOLVANE_BUILD:-build}
build=$(cd "$build" 2>/dev/null && pwd || echo "$repo/$build")
sample=$repo/examples/sample.png
golden=$repo/examples/sample-shafts.png
options=(--center "420,150")
# The sample with the same centre as frei0r parameters (ffmpeg's order: threshold, smooth, x, y, length, exposure,
# quality, ray only).
frei0r_params='0.5|0|0.65625|0.375|1|0.1|0.5|n'

work=$(mktemp -d -t solvane-packages.XXXXXX)
deb_installed=0
cleanup() {
  if [ "$deb_installed" = 1 ]; then
    timeout 120 dpkg --purge ostrel-solvane >/dev/null 2>&1 || true
  fi
  if [ "${python_installed:-0}" = 1 ]; then
    timeout 120 dpkg --purge python3-ostrel-solvane >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
  echo "packages: FAIL: $*" >&2
  exit 1
}
step() { echo "== packages: $*"; }
# The pixels of a PNG as raw RGBA, for comparisons that do not depend on how the file was compressed.
pixels() { timeout 60 ffmpeg -v error -i "$1" -f rawvideo -pix_fmt rgba - | md5sum; }
same_image() {
  [ -f "$1" ] || fail "$3: $1 was not written"
  [ "$(pixels "$1")" = "$(pixels "$2")" ] || fail "$3: $1 differs from $2"
}

# JPEG and TIFF through a solvane ($1, run in a clean environment): the sample's render as a TIFF is the published
# result, and a JPEG goes in and out.
formats_render() {
  local solvane=$1 label=$2
  (cd "$elsewhere" && rm -f out.tif out.jpg again.png &&
    timeout 120 env -i PATH=/usr/bin:/bin "$solvane" --quiet render "$sample" out.tif "${options[@]}" &&
    timeout 120 env -i PATH=/usr/bin:/bin "$solvane" --quiet render "$sample" out.jpg "${options[@]}" &&
    timeout 120 env -i PATH=/usr/bin:/bin "$solvane" --quiet render out.jpg again.png) ||
    fail "$label could not render JPEG and TIFF"
  same_image "$elsewhere/out.tif" "$golden" "$label TIFF render"
  timeout 60 ffmpeg -v error -i "$elsewhere/again.png" -f null - || fail "$label: the render of a JPEG is no image"
}

start=$SECONDS
SOLVANE_BUILD=$build timeout 900 scripts/package.sh >"$work/package.log" 2>&1 || {
  cat "$work/package.log"
  fail "scripts/package.sh failed"
}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$build/packages/ostrel-solvane_${version}-1_amd64.deb
tarball=$build/packages/ostrel-solvane-${version}-linux-x86_64.tar.gz
[ -f "$deb" ] || fail "no $deb"
[ -f "$tarball" ] || fail "no $tarball"
echo "packages: built $(basename "$deb") and $(basename "$tarball") after $((SECONDS - start)) s"

# --- 1. install, redo, undo --------------------------------------------------------------------------------------
step "cmake --install into a temporary prefix, from another folder"
first=$work/prefix-one
second=$work/prefix-two
elsewhere=$work/elsewhere
mkdir -p "$elsewhere"
timeout 120 cmake --install "$build" --prefix "$first" >/dev/null
[ -x "$first/bin/solvane" ] || fail "no bin/solvane in the install"
[ -f "$first/lib/frei0r-1/OstrelSolvane.aex" ] || fail "no lib/frei0r-1/OstrelSolvane.aex in the install"
[ -f "$first/share/man/man1/solvane.1.gz" ] || fail "no man page in the install"
[ -f "$first/share/bash-completion/completions/solvane" ] || fail "no bash completion in the install"
[ ! -e "$first/lib/ostrel-solvane" ] || fail "a plain install carries the tarball's libraries"
(cd "$elsewhere" && timeout 120 "$first/bin/solvane" --quiet render "$sample" out.png "${options[@]}") ||
  fail "the installed solvane could not render from another folder"
same_image "$elsewhere/out.png" "$golden" "installed solvane render"
formats_render "$first/bin/solvane" "installed solvane"
[ "$("$first/bin/solvane" --version)" = "solvane (Ostrel Solvane) $version" ] || fail "solvane --version"
[ "$("$first/bin/solvane" version)" = "solvane (Ostrel Solvane) $version" ] || fail "solvane version"
# The About text carries the same version (major.minor).
"$first/bin/solvane" --quiet about | grep -q "v${version%.*}" || fail "the About text does not say v${version%.*}"
# --plugin still overrides: a plug-in that is not there is named.
if "$first/bin/solvane" --plugin "$work/none.aex" --quiet about 2>"$work/err"; then
  fail "--plugin naming no file succeeded"
fi
grep -q "none.aex" "$work/err" || fail "--plugin: the error does not name the file"
# The man page and the completion name every command of the help text.
commands=$("$first/bin/solvane" help | sed -n '/^commands:/,/^$/p' | awk 'NR > 1 && /^  [a-z]/ && /   / { print $1 }')
for command in $commands; do
  zcat "$first/share/man/man1/solvane.1.gz" | grep -q "^\.B[RI]* \"\?$command\b" ||
    fail "the man page does not describe the command $command"
  grep -q "commands=\".*\b$command\b" "$first/share/bash-completion/completions/solvane" ||
    fail "the bash completion does not offer the command $command"
done
options_help=$("$first/bin/solvane" help | grep -o -- '--[a-z][a-z-]*' | sort -u)
for option in $options_help; do
  zcat "$first/share/man/man1/solvane.1.gz" | grep -qF -- "$(printf '%s' "$option" | sed 's/-/\\-/g')" ||
    fail "the man page does not describe $option"
done
# The completion as bash runs it, with bash-completion's helpers.
if [ -f /usr/share/bash-completion/bash_completion ]; then
  # shellcheck disable=SC2016 # the script is expanded by the bash that runs it
  completions=$(timeout 30 bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    shift
    for line in "$@"; do
      COMP_LINE=$line
      read -r -a COMP_WORDS <<<"$line"
      [[ $line == *" " ]] && COMP_WORDS+=("")
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
      COMP_POINT=${#COMP_LINE}
      COMPREPLY=()
      _solvane solvane "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
      printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "
      echo
    done' completion "$first/share/bash-completion/completions/solvane" \
    "solvane " "solvane --plugin x.aex re" "solvane render --qu" "solvane render in.png out.png --quality ")
  expected="$(sort <<<"$commands" | tr '\n' ' ')
render 
--quality --quiet 
high low medium "
  [ "$completions" = "$expected" ] || fail "bash completes: $completions (expected: $expected)"
fi
if command -v man >/dev/null; then
  MANWIDTH=100 timeout 30 man -l "$first/share/man/man1/solvane.1.gz" 2>&1 >/dev/null | grep . &&
    fail "man reports problems in the man page"
fi

step "the uninstall target removes every file; the next install follows its own prefix"
timeout 120 cmake --build "$build" --target uninstall >/dev/null || fail "the uninstall target failed"
left=$(find "$first" -type f -o -type l)
[ -z "$left" ] || fail "the uninstall left files: $left"
[ ! -e "$first/share/shotcut/qml/filters/ostrel_solvane" ] || fail "the uninstall left the Shotcut filter folder"
timeout 120 cmake --install "$build" --prefix "$second" >/dev/null
[ -z "$(find "$first" -type f)" ] || fail "an install into another prefix went back into the first one"
[ -x "$second/bin/solvane" ] || fail "the second install has no bin/solvane"
timeout 120 cmake --build "$build" --target uninstall >/dev/null || fail "the second uninstall target failed"
left=$(find "$second" -type f -o -type l)
[ -z "$left" ] || fail "the second uninstall left files: $left"
# Uninstalling twice is harmless.
timeout 120 cmake --build "$build" --target uninstall >/dev/null || fail "a second uninstall failed"

step "a relative folder on the command line stays relative; an absolute one is used as it is"
timeout 300 cmake -S "$repo" -B "$work/configured" -DSOLVANE_BUILD_TESTS=OFF \
  -DSOLVANE_INSTALL_SHOTCUTDIR=share/relative/filters -DSOLVANE_INSTALL_KDENLIVEDIR="$work/absolute" \
  >"$work/configure.log" 2>&1 || {
  cat "$work/configure.log"
  fail "configuring with install folders failed"
}
grep -q '^SOLVANE_INSTALL_SHOTCUTDIR:[A-Z]*=share/relative/filters$' "$work/configured/CMakeCache.txt" ||
  fail "the relative folder became $(grep '^SOLVANE_INSTALL_SHOTCUTDIR' "$work/configured/CMakeCache.txt")"
grep -q "\"\${CMAKE_INSTALL_PREFIX}/share/relative/filters\"" "$work/configured/frei0r/cmake_install.cmake" ||
  fail "the relative folder does not lie under the prefix"
grep -q "\"$work/absolute\"" "$work/configured/frei0r/cmake_install.cmake" ||
  fail "the absolute folder is not used as it is"
rm -rf "$work/configured"

# --- 2. the tarball ------------------------------------------------------------------------------------------------
step "the tarball, unpacked into a temporary folder and run in a clean environment"
unpacked=$work/unpacked
mkdir -p "$unpacked"
tar -xzf "$tarball" -C "$unpacked"
root=$unpacked/ostrel-solvane-${version}-linux-x86_64
[ -x "$root/bin/solvane" ] || fail "the tarball has no ostrel-solvane-${version}-linux-x86_64/bin/solvane"
(cd "$elsewhere" && rm -f out.png && timeout 120 env -i PATH=/usr/bin:/bin "$root/bin/solvane" --quiet render \
  "$sample" out.png "${options[@]}") || fail "the tarball's solvane could not render"
same_image "$elsewhere/out.png" "$golden" "tarball solvane render"
formats_render "$root/bin/solvane" "the tarball's solvane"
# Every library outside the base set that a binary of the tarball needs resolves, by ldd, inside the tarball. (The
# base set's own libraries, such as what the system's libGL needs of X, are the system's business.)
base='^(ld-linux.*|libc|libm|libdl|librt|libpthread|libstdc\+\+|libgcc_s|libz|libEGL|libGL|libGLX|libOpenGL|libGLdispatch)\.so'
bundled=0
while IFS= read -r -d '' binary; do
  file -L "$binary" | grep -q ELF || continue
  resolved=$(env -i ldd "$binary")
  for name in $(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    [[ $name =~ $base ]] && continue
    path=$(awk -v name="$name" '$1 == name && $2 == "=>" { print $3 }' <<<"$resolved")
    case $path in
    "$root"/*) bundled=$((bundled + 1)) ;;
    *) fail "$(basename "$binary") takes $name from '${path:-nowhere}', outside the tarball" ;;
    esac
  done
done < <(find "$root" -type f \( -perm -u+x -o -name '*.so*' -o -name '*.aex' \) -print0)
[ "$bundled" -gt 0 ] || fail "no library of the tarball's own was used"
for library in libglbinding libpng16 libjpeg libtiff libwebp; do
  ls "$root"/lib/ostrel-solvane/$library.so* >/dev/null 2>&1 || fail "the tarball has no $library"
done
for owner in libjpeg62-turbo libtiff6 libwebp7; do
  [ -f "$root/share/doc/ostrel-solvane/bundled/$owner/copyright" ] || fail "the tarball has no copyright file of $owner"
done
step "the tarball's frei0r folder on ffmpeg's frei0r path"
timeout 120 env -i PATH=/usr/bin:/bin FREI0R_PATH="$root/lib/frei0r-1" SOLVANE_QUIET=1 ffmpeg -v error -y \
  -i "$sample" -vf "frei0r=filter_name=ostrel_solvane:filter_params=$frei0r_params" -update 1 "$work/ffmpeg.png" ||
  fail "ffmpeg could not use the tarball's frei0r module"
same_image "$work/ffmpeg.png" "$golden" "ffmpeg with the tarball's module"
[ -f "$root/README.txt" ] || fail "the tarball has no README.txt"
# The read-me's other way: the module linked into a home's ~/.frei0r-1/lib, alone or with the plug-in beside it. It
# follows its link back to the tarball, whose glbinding the plug-in then uses, not the system's (where there is one).
for linked in "ostrel_solvane.so" "ostrel_solvane.so OstrelSolvane.aex"; do
  step "the tarball's module linked into ~/.frei0r-1/lib: $linked"
  home=$work/home
  rm -rf "$home"
  mkdir -p "$home/.frei0r-1/lib"
  read -ra files <<<"$linked"
  for file in "${files[@]}"; do
    ln -s "$root/lib/frei0r-1/$file" "$home/.frei0r-1/lib/$file"
  done
  timeout 120 env -i PATH=/usr/bin:/bin HOME="$home" SOLVANE_QUIET=1 LD_DEBUG=libs LD_DEBUG_OUTPUT="$work/ld" \
    ffmpeg -v error -y -i "$sample" -vf "frei0r=filter_name=ostrel_solvane:filter_params=$frei0r_params" -update 1 \
    "$work/linked.png" || fail "ffmpeg could not use the tarball's module linked into ~/.frei0r-1/lib ($linked)"
  same_image "$work/linked.png" "$golden" "ffmpeg with the linked module ($linked)"
  grep -hqE "calling init: $root/lib/(frei0r-1/\.\./)?ostrel-solvane/libglbinding" "$work"/ld.* ||
    fail "the linked module's plug-in did not use the tarball's glbinding ($linked)"
  rm -f "$work"/ld.* "$work/linked.png"
done
rm -rf "$unpacked"

# --- 3. the Debian package -----------------------------------------------------------------------------------------
step "lintian on $(basename "$deb")"
timeout 300 lintian --tag-display-limit 0 "$deb" | tee "$work/lintian.log" || true
if grep -q '^E:' "$work/lintian.log"; then
  fail "lintian reports errors"
fi
# The OBS module and the GIMP plug-in, where they were built, are packages of their own: lintian-clean too, each with
# its module and the plug-in beside it, and neither in the frei0r package, whose users need neither host's libraries.
host_packages=0
for component in obs gimp; do
  host_deb=$build/packages/ostrel-solvane-${component}_${version}-1_amd64.deb
  [ -f "$host_deb" ] || continue
  host_packages=$((host_packages + 1))
  step "lintian on $(basename "$host_deb")"
  timeout 300 lintian --tag-display-limit 0 "$host_deb" | tee "$work/lintian-$component.log" || true
  if grep -q '^E:' "$work/lintian-$component.log"; then
    fail "lintian reports errors in $(basename "$host_deb")"
  fi
  dpkg-deb -c "$host_deb" >"$work/contents-$component.txt"
  case $component in
  obs) wanted=(usr/lib/x86_64-linux-gnu/obs-plugins/ostrel-solvane.so usr/lib/x86_64-linux-gnu/obs-plugins/OstrelSolvane.aex
         usr/share/obs/obs-plugins/ostrel-solvane/locale/en-US.ini) ;;
  gimp) wanted=(usr/lib/gimp/2.0/plug-ins/ostrel-solvane/ostrel-solvane usr/lib/gimp/2.0/plug-ins/ostrel-solvane/OstrelSolvane.aex) ;;
  esac
  for path in "${wanted[@]}" "usr/share/doc/ostrel-solvane-$component/copyright"; do
    grep -q " \./$path\$" "$work/contents-$component.txt" || fail "$(basename "$host_deb") has no /$path"
  done
done
if dpkg-deb -c "$deb" | grep -Eq 'obs-plugins|/gimp/'; then
  fail "$(basename "$deb") carries the OBS module or the GIMP plug-in, which have packages of their own"
fi
if dpkg-deb -f "$deb" Depends | grep -Eq 'libobs|libgimp'; then
  fail "$(basename "$deb") depends on OBS's or GIMP's libraries"
fi
echo "packages: $host_packages host package(s) beside $(basename "$deb")"
# The Python module, where it was built: a package of its own, lintian-clean, the plug-in beside the module.
python_deb=$build/packages/python3-ostrel-solvane_${version}-1_amd64.deb
if [ -f "$python_deb" ]; then
  step "lintian on $(basename "$python_deb")"
  timeout 300 lintian --tag-display-limit 0 "$python_deb" | tee "$work/lintian-python.log" || true
  if grep -q '^E:' "$work/lintian-python.log"; then
    fail "lintian reports errors in $(basename "$python_deb")"
  fi
  dpkg-deb -c "$python_deb" >"$work/contents-python.txt"
  for path in usr/lib/python3/dist-packages/ostrel_solvane/__init__.py \
    usr/lib/python3/dist-packages/ostrel_solvane/OstrelSolvane.aex usr/share/doc/python3-ostrel-solvane/copyright; do
    grep -q " \./$path\$" "$work/contents-python.txt" || fail "$(basename "$python_deb") has no /$path"
  done
fi
if [ "${SOLVANE_SKIP_DEB_INSTALL:-0}" = 1 ] || [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then
  echo "packages: the system install of the Debian package skipped (needs root and apt-get)"
  echo "packages: done after $((SECONDS - start)) s"
  exit 0
fi
# A run that was killed may have left the package installed: take it away first.
if dpkg-query -W -f='${Status}' ostrel-solvane >/dev/null 2>&1; then
  echo "packages: ostrel-solvane is known to dpkg already (an earlier run?): purging it first"
  timeout 120 dpkg --purge ostrel-solvane >/dev/null
fi
# Everything the checks need is ready before the package goes in, so that it stays installed a few seconds only.
# GStreamer's registry is made here, so that after the install it rescans the frei0r folders only.
export GST_REGISTRY=$work/gst-registry.bin
timeout 120 gst-inspect-1.0 frei0r >/dev/null 2>&1 || true
mkdir -p "$work/deb-render"
cp "$deb" "$work/"
step "apt-get install ./$(basename "$deb")"
deb_installed=1
(cd "$work" && DEBIAN_FRONTEND=noninteractive timeout 300 apt-get -o DPkg::Lock::Timeout=120 install -y -q \
  --no-install-recommends "./$(basename "$deb")" >"$work/apt.log" 2>&1) || {
  cat "$work/apt.log"
  fail "apt-get install failed"
}
installed_at=$SECONDS
dpkg -L ostrel-solvane >"$work/files"
# The checks run side by side, to keep the package's time on the system short; each writes its own log.
unset FREI0R_PATH SOLVANE_PLUGIN
check_path_render() {
  [ "$(command -v solvane)" = /usr/bin/solvane ] || fail "solvane on PATH is $(command -v solvane)"
  (cd "$work/deb-render" && timeout 120 solvane --quiet render "$sample" out.png "${options[@]}") ||
    fail "solvane from PATH could not render"
  same_image "$work/deb-render/out.png" "$golden" "packaged solvane render"
}
check_melt() {
  # The whole listing into a file: grep -q ending a pipe early would fail the pipe.
  SOLVANE_QUIET=1 timeout 120 melt -query filters >"$work/melt.txt" 2>&1 || true
  grep -q 'frei0r\.ostrel_solvane' "$work/melt.txt" || fail "melt -query does not list frei0r.ostrel_solvane"
}
check_gstreamer() {
  timeout 120 gst-inspect-1.0 frei0r-filter-light-shafts >/dev/null 2>&1 ||
    fail "gst-inspect-1.0 does not list frei0r-filter-light-shafts"
}
check_ffmpeg() {
  SOLVANE_QUIET=1 timeout 120 ffmpeg -v error -y -i "$sample" \
    -vf "frei0r=filter_name=ostrel_solvane:filter_params=$frei0r_params" -update 1 "$work/deb-render/ffmpeg.png" ||
    fail "ffmpeg's frei0r filter does not find ostrel_solvane"
  same_image "$work/deb-render/ffmpeg.png" "$golden" "ffmpeg with the packaged module"
}
checks=(check_path_render check_melt check_gstreamer check_ffmpeg)
pids=()
for check in "${checks[@]}"; do
  ("$check") >"$work/$check.log" 2>&1 &
  pids+=($!)
done
status=0
for i in "${!pids[@]}"; do
  if ! wait "${pids[$i]}"; then
    status=1
    cat "$work/${checks[$i]}.log" >&2
  fi
done
step "dpkg -r ostrel-solvane"
timeout 120 dpkg -r ostrel-solvane >/dev/null
echo "packages: the package was installed for $((SECONDS - installed_at)) s"
[ "$status" -eq 0 ] || exit "$status"
while IFS= read -r path; do
  if [ -e "$path" ] && [ ! -d "$path" ]; then
    fail "dpkg -r left $path"
  fi
done <"$work/files"
for path in /usr/share/shotcut/qml/filters/ostrel_solvane /usr/share/doc/ostrel-solvane; do
  [ ! -e "$path" ] || fail "dpkg -r left $path"
done
# dpkg keeps a removed package's record until it is purged.
timeout 120 dpkg --purge ostrel-solvane >/dev/null
deb_installed=0
! dpkg-query -W ostrel-solvane >/dev/null 2>&1 || fail "dpkg still knows ostrel-solvane after the purge"
# The Python package on its own: installed, imported by Debian's Python from a clean environment in another folder,
# the sample rendered as the golden image, and purged with nothing left.
if [ -f "$python_deb" ]; then
  cp "$python_deb" "$work/"
  step "apt-get install ./$(basename "$python_deb")"
  python_installed=1
  (cd "$work" && DEBIAN_FRONTEND=noninteractive timeout 300 apt-get -o DPkg::Lock::Timeout=120 install -y -q \
    --no-install-recommends "./$(basename "$python_deb")" >"$work/apt-python.log" 2>&1) || {
    cat "$work/apt-python.log"
    fail "apt-get install of the Python package failed"
  }
  dpkg -L python3-ostrel-solvane >"$work/python-files"
  (cd "$work/deb-render" && timeout 120 env -i PATH=/usr/bin:/bin SOLVANE_QUIET=1 /usr/bin/python3 -I -c '
import sys, numpy, ostrel_solvane
from PIL import Image
assert ostrel_solvane.__file__.startswith("/usr/lib/python3/dist-packages/"), ostrel_solvane.__file__
image = numpy.asarray(Image.open(sys.argv[1]).convert("RGBA"))
Image.fromarray(ostrel_solvane.render(image, center=(420, 150))).save("python.png")' "$sample") ||
    fail "the packaged Python module could not render"
  same_image "$work/deb-render/python.png" "$golden" "the packaged Python module"
  timeout 120 dpkg --purge python3-ostrel-solvane >/dev/null
  python_installed=0
  while IFS= read -r path; do
    if [ -e "$path" ] && [ ! -d "$path" ]; then
      fail "dpkg --purge left $path"
    fi
  done <"$work/python-files"
  [ ! -e /usr/lib/python3/dist-packages/ostrel_solvane ] || fail "dpkg --purge left the module's folder"
fi
echo "packages: done after $((SECONDS - start)) s"
