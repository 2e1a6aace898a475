#!/usr/bin/env bash
# Builds everything (library, converter, tests, benchmarks) and runs every test.
#   test.sh [PRESET]   default: "default" (GCC); CI also runs "ci-gcc" and "ci-asan"
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-default}
"$root/scripts/deps.sh" test
cd "$root"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"
