#!/usr/bin/env bash
# Builds the project and converts the bundled example, then shows the script.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" --target pagelift
out=$(mktemp -d)/menus.tcl
cd "$root/examples"
"$root/build/pagelift" menus.def "$out"
echo "---- $out ----"
cat "$out"
