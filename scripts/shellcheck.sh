#!/usr/bin/env bash
# Checks every shell script of the repository with shellcheck (Debian's package; scripts/setup.sh --test installs
# it): the files under scripts/ and .ci/ whose first line names a shell. Any finding fails the run. A finding that is
# wrong for a line is silenced on that line with a directive and its reason beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts=()
while IFS= read -r -d '' file; do
  if head -n 1 "$file" | grep -Eq '^#!.*\b(ba|da)?sh\b'; then
    scripts+=("$file")
  fi
done < <(find scripts .ci -type f -print0 | sort -z)
# scripts/windows/common.sh has no first line of its own (it is sourced): it is checked where it is sourced, and
# alone through its shell directive.
scripts+=(scripts/windows/common.sh)
shellcheck --external-sources "${scripts[@]}"
echo "shellcheck: ${#scripts[@]} scripts clean"
