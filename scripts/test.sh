#!/usr/bin/env bash
# Builds everything (library, converter, tests, benchmarks) and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DTW_TESTS=ON -DTW_BENCH=ON >/dev/null
cmake --build "$root/build"
cd "$root/build"
ctest --output-on-failure --no-tests=error -j "$(nproc)"
