# shellcheck shell=bash
# Sourced by the scripts of the Windows build: folders, the toolchain and the fetching of Debian source packages.
#   SOLVANE_WIN_BUILD     the Windows build folder (default build-win in the repository)
#   SOLVANE_WINDOWS_DEPS  where the Windows libraries are installed (default <build folder>/deps)
#   SOLVANE_JOBS          parallel compile jobs (default 2: the machines are shared)

win_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
win_build=${SOLVANE_WIN_BUILD:-$win_repo/build-win}
win_deps=${SOLVANE_WINDOWS_DEPS:-$win_build/deps}
win_src=$win_deps/src
win_toolchain=$win_repo/cmake/toolchain-mingw-w64-x86_64.cmake
win_jobs=${SOLVANE_JOBS:-2}
export SOLVANE_WINDOWS_DEPS=$win_deps

# Unpacks Debian's source package $1 (patches applied) under $win_src/$1 once, and prints the source folder.
win_fetch_source() {
  local pkg=$1 dir=$win_src/$1 tree
  tree=$(find "$dir" -mindepth 1 -maxdepth 1 -type d 2>/dev/null | head -n 1)
  if [ -z "$tree" ] || [ ! -f "$dir/.unpacked" ]; then
    rm -rf "$dir"
    mkdir -p "$dir"
    # The newest version first; an archive may list a version whose files it no longer serves (seen with security
    # updates), so older ones are tried after it.
    local versions v
    versions=$(apt-cache showsrc "$pkg" | awk '/^Version:/ { print $2 }' | sort -Vru)
    for v in $versions; do
      # As root, apt cannot hand the download to its unprivileged user in a folder that user cannot write.
      if (cd "$dir" && apt-get -q -o APT::Sandbox::User=root source "$pkg=$v" >&2); then
        break
      fi
      echo "windows: $pkg $v could not be fetched, trying an older version" >&2
      find "$dir" -mindepth 1 -maxdepth 1 -type d -exec rm -rf {} +
    done
    tree=$(find "$dir" -mindepth 1 -maxdepth 1 -type d | head -n 1)
    [ -n "$tree" ] || { echo "windows: apt-get source $pkg unpacked nothing" >&2; return 1; }
    touch "$dir/.unpacked"
  fi
  echo "$tree"
}

# True when the library installed under $1 is complete (the stamp is written after a successful install).
win_installed() {
  [ -f "$1/.installed" ]
}

# Configures, builds and installs the CMake project in source folder $2 as the static Windows library $1 into
# build-win/deps/$1 with the toolchain, Release, then writes the stamp. Further arguments go to CMake.
win_build_dependency() {
  local name=$1 src=$2
  shift 2
  local prefix=$win_deps/$name build=$win_deps/build/$name start=$SECONDS
  rm -rf "$build" "$prefix"
  cmake -S "$src" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$win_toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    "$@"
  cmake --build "$build" -j "$win_jobs"
  cmake --install "$build"
  touch "$prefix/.installed"
  echo "$name: installed in $prefix after $((SECONDS - start)) s"
}
