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

source scripts/wine-lib.sh
ports_dir=$(mktemp -d)
trap 'wine_stop; rm -rf "$ports_dir"' EXIT
wine_start

# Two pseudo-terminals linked back to back: what a test writes to COM41 it reads from COM42.
socat pty,raw,echo=0,link="$ports_dir/a" pty,raw,echo=0,link="$ports_dir/b" &
wine_helpers+=($!)
wait_for "$ports_dir/a" "$ports_dir/b"
map_port 41 "$ports_dir/a"
map_port 42 "$ports_dir/b"
export SK_TEST_PORT_A=COM41 SK_TEST_PORT_B=COM42

ctest_args=(--test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" --timeout 120)
[ -n "${TEST_LABEL:-}" ] && ctest_args+=(-L "$TEST_LABEL")
LD_PRELOAD="$wine_shim${LD_PRELOAD:+:$LD_PRELOAD}" ctest "${ctest_args[@]}"
