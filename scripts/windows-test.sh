#!/usr/bin/env bash
# The Windows build: cross-compiles with mingw-w64 into build-windows/ (or $BUILD_DIR) and runs
# the Windows test programs under Wine, headless, then the Windows command-line loader against
# the simulated device (scripts/windows-e2e.sh). Run through `SK_TARGET=windows ./test.sh`.
#   TEST_LABEL="core|log"   only the tests of those folders, and no end-to-end run
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build-windows}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DSK_BENCH=OFF -DSK_GUI=OFF ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"

# What the Windows tests take from the build machine's own build (build/, or $NATIVE_BUILD_DIR):
# the reference cipher's answers, recorded by its test_cipher; the device simulator and the
# image tool for the end-to-end run.
native_dir=${NATIVE_BUILD_DIR:-build}
[ -f "$native_dir/build.ninja" ] || cmake -S . -B "$native_dir" -G Ninja ${CMAKE_ARGS:-} >/dev/null
cmake --build "$native_dir" --parallel "$(nproc)" --target test_cipher zr48-sim brox
# realpath: $BUILD_DIR may be relative or absolute.
SK_ORACLE_REPLAY="$(realpath -m "$build_dir")/cipher-oracle.txt"
export SK_ORACLE_REPLAY
rm -f "$SK_ORACLE_REPLAY"
SK_ORACLE_RECORD="$SK_ORACLE_REPLAY" "$native_dir/bin/test_cipher" >/dev/null

source scripts/wine-lib.sh
ports_dir=$(mktemp -d)
trap 'wine_stop; rm -rf "$ports_dir"' EXIT
wine_start

# The serial device's own tests talk between COM41 and COM42; tests that would hold a
# pseudo-terminal's master end take one of the other pairs (serialkit/testing/pseudo_terminal.h).
link_ports 41 42 "$ports_dir"
export SK_TEST_PORT_A=COM41 SK_TEST_PORT_B=COM42
link_ports 47 48 "$ports_dir"
link_ports 49 50 "$ports_dir"
export SK_TEST_PTY_PAIRS="COM47:COM48 COM49:COM50"
# The port tests (tests/comm) enter a pseudo-terminal under the port number each case chooses;
# for each number in their list kPtyPortNumbers, COM<n> is linked with COM<n+100>, the
# stand-in's master end.
pty_ports=$(sed -n '/kPtyPortNumbers\[\] = {/,/};/p' tests/comm/comm_fixtures.h |
  sed 's/.*{//; s/}.*//' | tr -cs '0-9' ' ')
[ -n "${pty_ports// /}" ] || { echo "no port numbers in tests/comm/comm_fixtures.h" >&2; exit 1; }
for n in $pty_ports; do
  link_ports $((n + 100)) "$n" "$ports_dir"
done
# The receive stress test's cases with fewer chunks than on Linux: Wine's serial calls are
# server round trips, and this stage stays quick. scripts/receive-stress.sh runs them long.
export SK_STRESS_CHUNKS=${SK_STRESS_CHUNKS:-600}

ctest_args=(--test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" --timeout 120)
[ -n "${TEST_LABEL:-}" ] && ctest_args+=(-L "$TEST_LABEL")
LD_PRELOAD="$wine_shim${LD_PRELOAD:+:$LD_PRELOAD}" ctest "${ctest_args[@]}"

[ -n "${TEST_LABEL:-}" ] || scripts/windows-e2e.sh "$build_dir/bin" "$native_dir/bin"
[ -n "${TEST_LABEL:-}" ] || scripts/windows-window-test.sh "$build_dir/bin" "$native_dir/bin"
