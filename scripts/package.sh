#!/usr/bin/env bash
# Builds the packages: on Linux a .deb of the programs (bootshell) and a -dev .deb of the library
# (libserialkit-dev), from build/ (or $BUILD_DIR); with SK_TARGET=windows (or both with
# SK_TARGET=all) a .zip of the Windows programs from build-windows/ (or $WINDOWS_BUILD_DIR).
# The packages land in <build folder>/packages/; scripts/check-packages.sh checks them.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${SK_TARGET:-linux}

if [ "$target" = linux ] || [ "$target" = all ]; then
  build=${BUILD_DIR:-build}
  cmake -S . -B "$build" -G Ninja ${CMAKE_ARGS:-} >/dev/null
  cmake --build "$build" --parallel "$(nproc)"
  (cd "$build" && cpack -G DEB >/dev/null)
  ls "$build"/packages/*.deb
fi
if [ "$target" = windows ] || [ "$target" = all ]; then
  build=${WINDOWS_BUILD_DIR:-build-windows}
  cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DSK_BENCH=OFF -DSK_GUI=OFF ${CMAKE_ARGS:-} >/dev/null
  cmake --build "$build" --parallel "$(nproc)" --target bootshell bootshell-cli brox
  (cd "$build" && cpack -G ZIP >/dev/null)
  ls "$build"/packages/*.zip
fi
