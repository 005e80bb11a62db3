#!/usr/bin/env bash
# Checks a Windows product:  inspect.sh FILE [EXPECTED-PIPL-FILE]
#   - a plug-in (.aex) must carry the registration resource (type "PIPL", id 16000, language 1033); it is extracted
#     and, when a file of the expected bytes is given, compared with it;
#   - the DLLs it imports must all be parts of Windows (a MinGW runtime DLL would be missing on the user's machine);
#   - its resources and exported names are listed.
set -euo pipefail
file=$1
expected=${2:-}
objdump=x86_64-w64-mingw32-objdump
[ -f "$file" ] || { echo "inspect: $file does not exist" >&2; exit 1; }

echo "== resources of $file"
resources=$(wrestool -l "$file" 2>/dev/null || true)
echo "${resources:-(none)}"
if [[ "$file" == *.aex ]] || [ -n "$expected" ]; then
  grep -q -- "--type='PIPL' --name=16000 --language=1033" <<<"$resources" || {
    echo "inspect: no PIPL resource 16000 (language 1033) in $file" >&2; exit 1; }
  extracted=$(mktemp)
  trap 'rm -f "$extracted"' EXIT
  wrestool -x --raw -t PIPL -n 16000 "$file" >"$extracted"
  echo "PIPL 16000: $(stat -c %s "$extracted") bytes"
  if [ -n "$expected" ]; then
    cmp -s "$extracted" "$expected" || {
      echo "inspect: the PIPL resource of $file differs from $expected" >&2; exit 1; }
    echo "PIPL 16000 equals $expected"
  fi
fi

echo "== DLLs imported by $file"
imports=$("$objdump" -p "$file" | awk '/DLL Name:/ { print $3 }' | sort -u)
echo "$imports"
bad=$(grep -viE '^(kernel32|user32|gdi32|opengl32|msvcrt|advapi32|shell32|ole32|ws2_32|api-ms-win-[a-z0-9-]+)\.dll$' \
  <<<"$imports" || true)
if [ -n "$bad" ]; then
  echo "inspect: $file needs DLLs that Windows does not have: $bad" >&2
  exit 1
fi

echo "== names exported by $file"
# awk reads to the end: leaving early would break objdump's pipe and fail the script.
"$objdump" -p "$file" | awk '/\[Ordinal\/Name Pointer\] Table/ { on = 1; next } NF == 0 { on = 0 } on { print $NF }'
