#!/usr/bin/env bash
# Builds the Windows packages from the cross build in build-win/project (built first by build.sh when it is not
# there), into build-win/packages:
#   ostrel-solvane-<version>-windows-x64-setup.exe  the installer (Debian's NSIS, packaging/windows/OstrelSolvane.nsi)
#   ostrel-solvane-<version>-windows-x64.zip        the installed files and a short read-me
# Both hold what the Windows build's `cmake --install` puts down: the lists of files are made from that install.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
project=$win_build/project
if [ ! -f "$project/OstrelSolvane.aex" ]; then
  "$here/build.sh"
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$project/CMakeCache.txt")
[ -n "$version" ] || { echo "windows: no project version in $project/CMakeCache.txt" >&2; exit 1; }
out=$win_build/packages
stage=$out/stage
name=ostrel-solvane-$version-windows-x64
rm -rf "$stage" "$out/$name.zip" "$out/$name-setup.exe"
mkdir -p "$out"
cmake --install "$project" --prefix "$stage" >/dev/null

# The installer's lists: each staged file into the same place under the chosen folder, and out again, with the
# folders it made (deepest first, removed only when empty).
files=$out/files.nsh
unfiles=$out/unfiles.nsh
: >"$files"
: >"$unfiles"
while IFS= read -r -d '' path; do
  relative=${path#"$stage"/}
  folder=$(dirname "$relative")
  windows_relative=${relative//\//\\}
  if [ "$folder" = . ]; then
    echo "SetOutPath \"\$INSTDIR\"" >>"$files"
  else
    echo "SetOutPath \"\$INSTDIR\\${folder//\//\\}\"" >>"$files"
  fi
  echo "File \"$path\"" >>"$files"
  echo "Delete \"\$INSTDIR\\$windows_relative\"" >>"$unfiles"
done < <(find "$stage" -type f -print0 | sort -z)
while IFS= read -r -d '' folder; do
  relative=${folder#"$stage"/}
  echo "RMDir \"\$INSTDIR\\${relative//\//\\}\"" >>"$unfiles"
done < <(find "$stage" -mindepth 1 -type d -print0 | sort -rz)
[ -s "$files" ] || { echo "windows: the install put nothing down" >&2; exit 1; }

makensis -V2 -NOCD -DVERSION="$version" -DFILES="$files" -DUNFILES="$unfiles" -DOUTFILE="$out/$name-setup.exe" \
  "$win_repo/packaging/windows/OstrelSolvane.nsi"

# The zip: the same files and the read-me, with Windows line ends.
zip_root=$out/zip/$name
rm -rf "$out/zip"
mkdir -p "$zip_root"
cp -R "$stage/." "$zip_root/"
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$win_repo/packaging/windows/README.txt" >"$zip_root/README.txt"
(cd "$out/zip" && TZ=UTC zip -q -X -r "../$name.zip" "$name")
rm -rf "$out/zip"
ls -l "$out/$name-setup.exe" "$out/$name.zip"
