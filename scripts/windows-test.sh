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

# Serial ports for the tests: Linux pseudo-terminals that Wine opens as COM ports. Wine's mount
# manager turns each value of HKLM\Software\Wine\Ports into a link in the prefix's dosdevices
# folder when it starts; the links are made here directly, which a running Wine takes at once.
ports_dir=$(mktemp -d)
helpers=()
stop_helpers() {
  for pid in "${helpers[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${helpers[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$ports_dir"
  rm -f "$WINEPREFIX"/dosdevices/com4[0-9]
}
trap 'stop_helpers; wineserver -k 2>/dev/null || true' EXIT
# map_port COMn PATH
map_port() {
  local n=${1#COM}
  ln -sfn "$(readlink -f "$2")" "$WINEPREFIX/dosdevices/com$n"
}
# wait_for FILE...: until each exists (the helper that makes them has started).
wait_for() {
  for _ in $(seq 200); do
    local all=1
    for f in "$@"; do [ -e "$f" ] || all=0; done
    ((all)) && return 0
    sleep 0.05
  done
  echo "windows-test: $* did not appear" >&2
  return 1
}
# Two pseudo-terminals linked back to back: what a test writes to COM41 it reads from COM42.
socat pty,raw,echo=0,link="$ports_dir/a" pty,raw,echo=0,link="$ports_dir/b" &
helpers+=($!)
wait_for "$ports_dir/a" "$ports_dir/b"
map_port COM41 "$ports_dir/a"
map_port COM42 "$ports_dir/b"
export SK_TEST_PORT_A=COM41 SK_TEST_PORT_B=COM42

# Pseudo-terminals have no modem lines and answer their requests with ENOTTY, which Wine takes
# for a broken port (its event wait fails, SetCommState fails on DTR and RTS): a test-only shim,
# built for the build machine, answers them for Wine.
shim="$PWD/$build_dir/wine-shim/libmodem_lines_shim.so"
mkdir -p "$(dirname "$shim")"
cc -O2 -Wall -Wextra -shared -fPIC -o "$shim" tests/wine/modem_lines_shim.c -ldl
export LD_PRELOAD="$shim${LD_PRELOAD:+:$LD_PRELOAD}"

ctest_args=(--test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" --timeout 120)
[ -n "${TEST_LABEL:-}" ] && ctest_args+=(-L "$TEST_LABEL")
ctest "${ctest_args[@]}"
