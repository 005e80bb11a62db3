#!/usr/bin/env bash
# Installs the Debian packages of the Windows cross build and of its runs under Wine, and makes Debian's source
# packages reachable (glbinding, zlib and libpng are built from them for MinGW). Safe to run again: it changes
# nothing that is already in place, and it reads the package lists anew only when something is missing.
set -euo pipefail

# g++ is the build machine's own compiler (the registration resource's bytes are written by a native pipl_dump);
# binutils' objcopy takes the Linux build's resource section for comparison.
packages=(
  cmake make g++ binutils
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-tools
  libz-mingw-w64-dev
  dpkg-dev icoutils
  wine wine64 libgl1-mesa-dri
  # Recommended by Wine, not pulled in without recommends: its OpenGL (GLX) and the X and font libraries that its X11
  # driver loads at run time.
  libgl1 libglx-mesa0 libxext6 libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxxf86vm1
  libfreetype6 libfontconfig1
  xvfb xauth
  googletest
  # the Windows installer and the zip (scripts/windows/package.sh)
  nsis zip unzip
)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
# Other builds on the same machine may hold the package lock for a while: wait for it instead of failing.
apt_get=(${SUDO:+"$SUDO"} env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)

# shellcheck source=/dev/null # the system's release file: its variables are read, not checked
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || { echo "setup: cannot tell the Debian release from /etc/os-release" >&2; exit 1; }
src_list_dir=/etc/apt/sources.list.d
src_file_deb822=$src_list_dir/ostrel-solvane-deb-src.sources
src_file_legacy=$src_list_dir/ostrel-solvane-deb-src.list
# What follows "deb" or "deb-src" in a one-line entry of this release: [options] URI suite components.
one_line_rest="(\[[^]]*\][[:space:]]+)?[^[:space:]]+[[:space:]]+$codename(-[[:alnum:]]+)?([[:space:]].*)?"

# True when some enabled apt source already has source packages for this release.
has_deb_src() {
  local f
  for f in /etc/apt/sources.list "$src_list_dir"/*.list; do
    [ -f "$f" ] || continue
    grep -Eq "^[[:space:]]*deb-src[[:space:]]+$one_line_rest" "$f" && return 0
  done
  for f in "$src_list_dir"/*.sources; do
    [ -f "$f" ] || continue
    awk -v rel="$codename" '
      BEGIN { RS = ""; FS = "\n"; found = 0 }
      {
        types = ""; suites = ""; enabled = "yes"
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^Types:/) types = " " substr($i, 7) " "
          else if ($i ~ /^Suites:/) suites = " " substr($i, 8) " "
          else if ($i ~ /^Enabled:/) enabled = substr($i, 9)
        }
        gsub(/[[:space:]]/, "", enabled)
        if (enabled == "no" || types !~ /[[:space:]]deb-src[[:space:]]/) next
        if (suites ~ ("[[:space:]]" rel "([-[:space:]])")) found = 1
      }
      END { exit found ? 0 : 1 }' "$f" && return 0
  done
  return 1
}

# Writes deb-src entries that mirror the enabled binary entries of this release, so that the source packages come
# from the same archive (and with the same signing keys) as the binary ones.
add_deb_src() {
  local f out
  out=$(mktemp)
  for f in "$src_list_dir"/*.sources; do
    [ -f "$f" ] || continue
    [ "$f" = "$src_file_deb822" ] && continue
    # One stanza per paragraph; continuation lines (a Signed-By key block) stay with their field.
    awk -v rel="$codename" '
      BEGIN { RS = ""; FS = "\n" }
      {
        types = ""; suites = ""; enabled = "yes"
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^Types:/) types = " " substr($i, 7) " "
          else if ($i ~ /^Suites:/) suites = " " substr($i, 8) " "
          else if ($i ~ /^Enabled:/) enabled = substr($i, 9)
        }
        gsub(/[[:space:]]/, "", enabled)
        if (enabled == "no" || types !~ /[[:space:]]deb[[:space:]]/) next
        if (suites !~ ("[[:space:]]" rel "([-[:space:]])")) next
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^#/) continue
          if ($i ~ /^Types:/) print "Types: deb-src"; else print $i
        }
        print ""
      }' "$f" >>"$out"
  done
  if [ -s "$out" ]; then
    $SUDO install -m 0644 "$out" "$src_file_deb822"
    echo "setup: wrote $src_file_deb822"
    rm -f "$out"
    return
  fi
  for f in /etc/apt/sources.list "$src_list_dir"/*.list; do
    [ -f "$f" ] || continue
    [ "$f" = "$src_file_legacy" ] && continue
    sed -nE "s/^[[:space:]]*deb[[:space:]]+($one_line_rest)$/deb-src \1/p" "$f" >>"$out"
  done
  if [ -s "$out" ]; then
    $SUDO install -m 0644 "$out" "$src_file_legacy"
    echo "setup: wrote $src_file_legacy"
    rm -f "$out"
    return
  fi
  rm -f "$out"
  echo "setup: found no apt entry for $codename to derive a deb-src entry from" >&2
  exit 1
}

need_update=0
if ! has_deb_src; then
  add_deb_src
  need_update=1
fi
# Entries alone are not enough: apt-get source needs the downloaded source indexes too.
if ! compgen -G "/var/lib/apt/lists/*_source_Sources*" >/dev/null; then
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] || need_update=1

if [ "$need_update" -eq 1 ]; then
  "${apt_get[@]}" update
fi
if [ ${#missing[@]} -gt 0 ]; then
  "${apt_get[@]}" install -y --no-install-recommends "${missing[@]}"
fi
