#!/usr/bin/env bash
# Installs the Debian packages the project needs when they are missing; quick
# and silent when everything is already there.
#   deps.sh build   the converter and the library: CMake, Ninja, g++
#   deps.sh test    also GoogleTest, Google Benchmark, clang with its
#                   sanitizer and fuzzer runtimes, Python 3 (layer check),
#                   pkg-config (install check) and mimalloc (the allocator
#                   benchmarks compare against it)
set -euo pipefail
what=${1:-test}

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
if [ "$what" = test ]; then
  command -v clang++ >/dev/null || need+=(clang)
  command -v python3 >/dev/null || need+=(python3)
  command -v pkg-config >/dev/null || need+=(pkgconf)
  [ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
  [ -f /usr/include/gmock/gmock.h ] || need+=(libgmock-dev)
  [ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
  [ -f /usr/include/mimalloc.h ] || need+=(libmimalloc-dev)
  ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-dev)
fi

if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi
