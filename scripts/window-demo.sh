#!/usr/bin/env bash
# The same transfer through the main window, unattended: the simulated ZR48 on COM3 (the
# window's port), bootshell-window-demo pressing the buttons, a picture of the window after
# the transfer, and the flash check. Runs without a display (Qt's offscreen platform).
#   scripts/window-demo.sh [PICTURE]      default build/main-window.png
#   DEMO_IMAGE_SIZE=100000 SIM_BAUD=921600 WINDOW_LINK=1 scripts/window-demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${BIN_DIR:-build/bin}
picture=${1:-build/main-window.png}
work=$(mktemp -d)
source scripts/sim-lib.sh
trap 'stop_sim; rm -rf "$work"' EXIT

size=${DEMO_IMAGE_SIZE:-100000}
echo "== image tool: encrypt a $size-byte sample image"
make_image "$size"

echo "== device simulator on COM3"
start_sim 3 "${SIM_BAUD:-230400}"
echo "ZR48 in boot mode on $sim_tty, entered as $sim_port"

echo "== main window (offscreen)"
mkdir -p "$(dirname "$picture")" "$work/runtime"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work/runtime}
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
  "$bin/bootshell-window-demo" "$work/sample.brox" "$picture" "${WINDOW_LINK:-0}"

echo "== flash check"
check_flash
echo "The window after the transfer is in $picture"
