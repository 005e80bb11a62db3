#!/usr/bin/env bash
# Tests the Windows packages (package.sh) under Wine, silently, as a studio's deployment would run them:
#   - setup.exe /S into the default folder, then /S /D=FOLDER into a folder of the user's choosing: the files where
#     they should be and byte-equal to the build's, the entry in the list of programs;
#   - the uninstaller /S: every file, the uninstaller, the entry and the folders the install made gone, a folder
#     that was there before (a host's) untouched;
#   - the zip: the build's files and the read-me.
# Runs in the Windows build's own Wine prefix; everything it installs is removed again, also when a check fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
project=$win_build/project
start=$SECONDS

"$here/package.sh"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$project/CMakeCache.txt")
setup=$win_build/packages/ostrel-solvane-$version-windows-x64-setup.exe
zipfile=$win_build/packages/ostrel-solvane-$version-windows-x64.zip

work=$(mktemp -d -t solvane-installer.XXXXXX)
export WINEPREFIX=${WINEPREFIX:-$win_build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
drive=$WINEPREFIX/drive_c
default_folder="$drive/Program Files/Adobe/Common/Plug-ins/7.0/MediaCore/Ostrel Solvane"
host_folder=$drive/solvane-installer-test/Host/Plug-ins
custom_folder=$host_folder/Effects
cleanup() {
  # Whatever a failed run left: the uninstaller where it is still there, then the folders and the entry.
  local folder
  for folder in "$default_folder" "$custom_folder"; do
    if [ -f "$folder/Uninstall Ostrel Solvane.exe" ]; then
      # shellcheck disable=SC2016 # the inner shell expands its own arguments
      timeout 120 xvfb-run -a bash -c 'wine "$0" /S; wineserver --wait' "$folder/Uninstall Ostrel Solvane.exe" \
        >/dev/null 2>&1 || true
    fi
  done
  rm -rf "$default_folder" "$drive/solvane-installer-test" "$work"
  if [ "$adobe_existed" = 0 ]; then
    rm -rf "$drive/Program Files/Adobe"
  fi
}
adobe_existed=1
trap cleanup EXIT
fail() {
  echo "installer: FAIL: $*" >&2
  exit 1
}

# The prefix exists before the display goes up (made by wine-run.sh on first use).
timeout 300 "$here/wine-run.sh" cmd.exe /c exit 0 >/dev/null 2>&1 || true
[ -d "$drive/Program Files/Adobe" ] || adobe_existed=0
program_files_before=$(cd "$drive/Program Files" && find . | sort)
mkdir -p "$host_folder"
# Each run below is one Wine session on one virtual display, waited for to its end: the uninstaller copies itself
# to a temporary folder and runs from there, so only the server's end says it is done.
wine_session() {
  # shellcheck disable=SC2016 # the inner shell expands its own arguments
  timeout 300 xvfb-run -a bash -c 'wine "$@"; status=$?; wineserver --wait; exit $status' wine "$@"
}
registry_entry() {
  # shellcheck disable=SC2016 # the inner shell expands its own status; the key's backslashes are the registry's
  timeout 120 xvfb-run -a bash -c 'wine reg query "HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\OstrelSolvane" /v DisplayName; status=$?; wineserver --wait; exit $status' \
    2>/dev/null | tr -d '\r'
}

check_install() {
  local folder=$1 what=$2 installed
  installed=$(cd "$folder" && find . -type f | sort)
  [ "$installed" = "$(printf '%s\n' "./OstrelSolvane.aex" "./Uninstall Ostrel Solvane.exe")" ] ||
    fail "$what: the folder holds $installed"
  cmp -s "$folder/OstrelSolvane.aex" "$project/OstrelSolvane.aex" || fail "$what: OstrelSolvane.aex differs from the build's"
  registry_entry | grep -q "Ostrel Solvane $version" || fail "$what: no entry in the list of programs"
}
check_uninstall() {
  local folder=$1 what=$2
  wine_session "$folder/Uninstall Ostrel Solvane.exe" /S >/dev/null 2>&1 || fail "$what: the uninstaller failed"
  [ ! -e "$folder" ] || fail "$what: the uninstall left $(find "$folder")"
  if registry_entry | grep -q "Ostrel Solvane"; then
    fail "$what: the uninstall left the entry in the list of programs"
  fi
}

echo "== installer: $(basename "$setup") /S (the default folder)"
wine_session "$setup" /S >/dev/null 2>&1 || fail "the silent install failed"
check_install "$default_folder" "default folder"
check_uninstall "$default_folder" "default folder"
[ "$(cd "$drive/Program Files" && find . | sort)" = "$program_files_before" ] ||
  fail "default folder: the uninstall left folders the install made"

echo "== installer: $(basename "$setup") /S /D=C:\\solvane-installer-test\\Host\\Plug-ins\\Effects"
wine_session "$setup" /S '/D=C:\solvane-installer-test\Host\Plug-ins\Effects' >/dev/null 2>&1 ||
  fail "the silent install into a folder of its own failed"
check_install "$custom_folder" "chosen folder"
[ ! -e "$default_folder" ] || fail "chosen folder: the install went into the default folder too"
check_uninstall "$custom_folder" "chosen folder"
if [ ! -d "$host_folder" ] || [ -n "$(ls -A "$host_folder")" ]; then
  fail "the uninstall changed the folder above its own"
fi

echo "== installer: $(basename "$zipfile")"
mkdir -p "$work/zip"
(cd "$work/zip" && unzip -q "$zipfile")
root=$work/zip/ostrel-solvane-$version-windows-x64
cmp -s "$root/OstrelSolvane.aex" "$project/OstrelSolvane.aex" || fail "the zip's OstrelSolvane.aex differs from the build's"
grep -q "Ostrel Solvane $version" "$root/README.txt" || fail "the zip's read-me does not name the version"
[ "$(cd "$root" && find . -type f | sort | tr '\n' ' ')" = "./OstrelSolvane.aex ./README.txt " ] ||
  fail "the zip holds $(cd "$root" && find . -type f)"
echo "installer: done after $((SECONDS - start)) s"
