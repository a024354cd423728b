#!/usr/bin/env bash
# The Windows build: cross-compiles with mingw-w64 into build-windows/ (or $BUILD_DIR) and runs
# the Windows test programs under Wine, headless. Run through `SK_TARGET=windows ./test.sh`.
#   TEST_LABEL="core|log"   only the tests of those folders
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build-windows}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DSK_BENCH=OFF -DSK_GUI=OFF ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"

# What the Windows tests take from the build machine's own build (build/, or $NATIVE_BUILD_DIR):
# the reference cipher's answers, recorded by its test_cipher.
native_dir=${NATIVE_BUILD_DIR:-build}
[ -f "$native_dir/build.ninja" ] || cmake -S . -B "$native_dir" -G Ninja ${CMAKE_ARGS:-} >/dev/null
cmake --build "$native_dir" --parallel "$(nproc)" --target test_cipher
export SK_ORACLE_REPLAY="$PWD/$build_dir/cipher-oracle.txt"
rm -f "$SK_ORACLE_REPLAY"
SK_ORACLE_RECORD="$SK_ORACLE_REPLAY" "$native_dir/bin/test_cipher" >/dev/null

# A Wine prefix of the build folder's own, made once; no display, no debug channels, no
# downloads of Wine's .NET or browser add-ons, and the null graphics driver.
export WINEPREFIX="$PWD/$build_dir/wineprefix"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Making the Wine prefix $WINEPREFIX"
  wine wineboot --init >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
fi
# One Wine server for the whole run instead of one per program, stopped at the end (one that
# an earlier run of this build folder left is taken over).
wineserver -p 2>/dev/null || true
trap 'wineserver -k 2>/dev/null || true' EXIT
# Wine starts its own system processes with the first program; two programs that come first
# at the same time can hang there, so one starts them alone.
wine cmd.exe /c exit 0

ctest_args=(--test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" --timeout 120)
[ -n "${TEST_LABEL:-}" ] && ctest_args+=(-L "$TEST_LABEL")
ctest "${ctest_args[@]}"
