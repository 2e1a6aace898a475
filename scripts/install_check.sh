#!/usr/bin/env bash
# Installs a configured build tree into a temporary prefix and builds a small
# C program and a small C++ program against it, once through the CMake
# package (find_package(twlib)) and once through pkg-config, and runs them.
# Then it removes one installed header and makes sure the check notices.
#   install_check.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: install_check.sh BUILD_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in lib/libtwlib.a bin/pagelift include/twlib/twlib.h include/tslib/tslib.h \
         lib/cmake/twlib/twlibConfig.cmake lib/cmake/twlib/twlibConfigVersion.cmake \
         lib/pkgconfig/twlib.pc bin/twmsgcmp share/twlib/twlib.tmb share/twlib/tslib.tmb; do
  [ -e "$prefix/$f" ] || { echo "install check: $f was not installed"; exit 1; }
done
if find "$prefix/include" -name '*_testhook.h' -o -name '*_internal.h' | grep -q .; then
  echo "install check: an internal header was installed"; exit 1
fi

expected_c="c: menu 1 0 /a/b/ menus def"
expected_cpp="c++: submenu"

# Builds and runs both programs; prints what failed and returns 1 on failure.
consume() {
  local out=$work/consumer
  rm -rf "$out"
  cmake -S "$root/tests/install" -B "$out/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/log" 2>&1 &&
    cmake --build "$out/cmake" >>"$work/log" 2>&1 || { echo "find_package build failed"; return 1; }
  [ "$("$out/cmake/use_twlib_c")" = "$expected_c" ] || { echo "find_package C program output wrong"; return 1; }
  [ "$("$out/cmake/use_twlib_cpp")" = "$expected_cpp" ] || { echo "find_package C++ program output wrong"; return 1; }

  export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
  mkdir -p "$out/pc"
  cc $(pkg-config --cflags twlib) "$root/tests/install/use_twlib.c" -o "$out/pc/c" \
    $(pkg-config --libs twlib) >>"$work/log" 2>&1 || { echo "pkg-config C build failed"; return 1; }
  c++ -std=c++20 $(pkg-config --cflags twlib) "$root/tests/install/use_twlib.cpp" -o "$out/pc/cpp" \
    $(pkg-config --libs twlib) >>"$work/log" 2>&1 || { echo "pkg-config C++ build failed"; return 1; }
  [ "$("$out/pc/c")" = "$expected_c" ] || { echo "pkg-config C program output wrong"; return 1; }
  [ "$("$out/pc/cpp")" = "$expected_cpp" ] || { echo "pkg-config C++ program output wrong"; return 1; }
}

if ! consume; then
  cat "$work/log"
  echo "install check: FAILED"
  exit 1
fi
echo "install check: the C and C++ programs build and run through find_package and pkg-config"

# The check must be able to fail: without a header it has to.
rm "$prefix/include/twlib/core/base.h"
if consume >/dev/null 2>&1; then
  echo "install check: still passed with a header missing"; exit 1
fi
echo "install check: a missing header is noticed"
