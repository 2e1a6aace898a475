#!/usr/bin/env bash
# Builds the converter and converts the bundled example, then shows the script.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" build
cd "$root"
cmake --preset example >/dev/null
cmake --build --preset example
out=$(mktemp -d)/menus.tcl
cd "$root/examples"
"$root/build-example/pagelift" menus.def "$out"
echo "---- $out ----"
cat "$out"
