#!/usr/bin/env bash
# Formats the sources with the tree's .clang-format. Files that use the
# catch-region macros (TW_TRY ... TW_CATCH ... TW_END_TRY) are left as they
# are: clang-format cannot lay out "} TW_CATCH {" and would split it.
#   format.sh [--check]   --check: list the files that would change, exit 1 if any
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mode=${1:-}
changed=0
while IFS= read -r f; do
  grep -q 'TW_TRY\|TW_CATCH' "$f" && continue
  if [ "$mode" = --check ]; then
    if ! clang-format --style=file "$f" | cmp -s - "$f"; then echo "$f"; changed=1; fi
  else
    clang-format --style=file -i "$f"
  fi
done < <(git ls-files 'app/*.cpp' 'app/*.h' 'twlib/*.cpp' 'twlib/*.h' 'tslib/*.cpp' 'tslib/*.h' \
                       'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'fuzz/*.cpp' 'examples/*.c' 'examples/*.cpp')
exit $changed
