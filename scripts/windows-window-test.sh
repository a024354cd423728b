#!/usr/bin/env bash
# The native window's in-process tests under Wine with a simulated device: the device runs on
# a pseudo-terminal entered as COM43 (in the system's serial-port map, so the window's chooser
# lists it), the test program drives the window through a transfer, and the flash is checked.
# Run by scripts/windows-test.sh, whose Wine server it uses.
#   windows-window-test.sh WINDOWS_BIN NATIVE_BIN
set -euo pipefail
cd "$(dirname "$0")/.."
win_bin=$1
bin=$2
build_dir=$(dirname "$win_bin")
work=$(mktemp -d)
source scripts/sim-lib.sh
source scripts/wine-lib.sh
trap 'stop_sim; rm -rf "$work"' EXIT

make_image 20480
start_sim 43 0
point_registered_port 43 "$sim_tty"
SK_WINDOW_SIM_PORT=COM43 SK_WINDOW_IMAGE="$(windows_path "$work/sample.brox")" \
  wine_run "$win_bin/test_app_win32.exe" --gtest_brief=1
echo "windows-window-test: bootshell's window wrote the image; $(check_flash)"
