#!/usr/bin/env bash
# The main window as a real X11 window: on a virtual X server (Xvfb) it is driven with real
# mouse clicks and key presses (xdotool) through a whole transfer to the simulated ZR48 on
# COM3, a picture of the screen is taken (import), and the flash is checked.
#   scripts/xvfb-check.sh [PICTURE]      default build/xvfb-window.png
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${BIN_DIR:-build/bin}
picture=${1:-build/xvfb-window.png}
work=$(mktemp -d)
source scripts/sim-lib.sh
source scripts/xvfb-lib.sh
xvfb_pid= app_pid=
cleanup() {
  for pid in $app_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  stop_sim
  rm -rf "$work"
}
trap cleanup EXIT

start_xvfb "${XVFB_DISPLAY_NUMBER:-93}"

make_image "${DEMO_IMAGE_SIZE:-20480}"
blocks=$(( $(stat -c %s "$work/plain.bin") <= 2048 ? 1 : ($(stat -c %s "$work/plain.bin") - 2048 + 2047) / 2048 ))
start_sim 3 "${SIM_BAUD:-230400}"
echo "ZR48 in boot mode on $sim_tty, entered as $sim_port"

"$bin/bootshell" >"$work/app.log" 2>&1 &
app_pid=$!
until_ok 100 xdotool search --name "Boot Mode Shell for ZR48"
window=$(xdotool search --name "Boot Mode Shell for ZR48" | head -1)
# Places in the window at 96 dpi: "Connect", "Exit", "..." and "Send" (on the page, which
# sits right of the 153-pixel panel below its tab).
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }

echo "== Connect"
click 75 59
until_ok 100 at_least 0 1
echo "the device answered the handshake"

echo "== ... (file dialog, typed path, Return)"
click 613 51
until_ok 100 xdotool search --onlyvisible --name "Select firmware"
dialog=$(xdotool search --onlyvisible --name "Select firmware" | head -1)
# No window manager gives the dialog the focus: it is given here, then the keys go to it.
xdotool windowfocus --sync "$dialog"
xdotool key ctrl+a
xdotool type --delay 5 "$work/sample.brox"
xdotool key Return
until_ok 50 bash -c "! xdotool search --onlyvisible --name 'Select firmware'"
# Nothing of the dialog stays behind (its file name's completion list included): the next
# click lands on "Send".

echo "== Send ($blocks blocks)"
click 656 51
until_ok 600 at_least 2 "$blocks"
sleep 0.5  # the last answer's line and the progress bar are drawn
mkdir -p "$(dirname "$picture")"
import -window root -crop 688x471+0+0 "$picture"
echo "screen taken: $picture"

echo "== Exit"
click 75 90
until_ok 50 bash -c "grep -q 'host disconnected' '$work/frames.log'"
kill "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=
echo "== flash check"
check_flash
