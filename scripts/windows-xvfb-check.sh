#!/usr/bin/env bash
# bootshell.exe as a real window: under Wine on a virtual X server (Xvfb) it is driven with
# mouse clicks and key presses (xdotool) through a whole transfer to the simulated ZR48 on
# COM43, with the system's file dialog, a picture of the window is taken (import) and the
# flash is checked. A Wine prefix of its own (build-windows/wineprefix-x11), with Wine's X11
# driver, beside the headless one of the Windows tests.
#   scripts/windows-xvfb-check.sh [PICTURE]      default build-windows/xvfb-window.png
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build-windows}
bin=${NATIVE_BIN_DIR:-build/bin}
picture=${1:-$build_dir/xvfb-window.png}
work=$(mktemp -d)
source scripts/sim-lib.sh
source scripts/xvfb-lib.sh
source scripts/wine-lib.sh
export WINEPREFIX="$build_abs/wineprefix-x11"
xvfb_pid= app_pid=
cleanup() {
  [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  stop_sim
  rm -rf "$work"
}
trap cleanup EXIT

start_xvfb "${XVFB_DISPLAY_NUMBER:-94}"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Making the Wine prefix $WINEPREFIX"
  wine wineboot --init >/dev/null 2>&1
  wineserver -w 2>/dev/null || true
fi
register_ports
wineserver -p 2>/dev/null || true
wine_start_shim() {
  mkdir -p "$(dirname "$wine_shim")"
  cc -O2 -Wall -Wextra -shared -fPIC -o "$wine_shim" tests/wine/modem_lines_shim.c -ldl
}
wine_start_shim

make_image "${DEMO_IMAGE_SIZE:-20480}"
blocks=$(( $(stat -c %s "$work/plain.bin") <= 2048 ? 1 : ($(stat -c %s "$work/plain.bin") - 2048 + 2047) / 2048 ))
start_sim 43 0
point_registered_port 43 "$sim_tty"
echo "ZR48 in boot mode on $sim_tty, entered as COM43"

wine_run "$build_dir/bin/bootshell.exe" >"$work/app.log" 2>&1 &
app_pid=$!
until_ok 300 xdotool search --onlyvisible --name "Boot Mode Shell for ZR48"
window=$(xdotool search --onlyvisible --name "Boot Mode Shell for ZR48" | head -1)
# Without a window manager Wine draws the frame itself: the client area starts inside it.
eval "$(xdotool getwindowgeometry --shell "$window")"
border=$(( (WIDTH - 688) / 2 ))
top=$(( HEIGHT - 471 - border ))
# Places in the client area at 96 dpi.
click() { xdotool mousemove --window "$window" $(( border + $1 )) $(( top + $2 )) click 1; }

# No window manager gives the window the focus: it is given here, then the keys go to it.
xdotool windowfocus --sync "$window" || true
echo "== COM43 in the chooser (typed into its list), Bluetooth"
click 75 26
sleep 0.5
xdotool type --delay 50 "COM43"
xdotool key Return
click 40 326
echo "== Connect"
click 75 59
until_ok 200 at_least 0 1
echo "the device answered the handshake"

echo "== ... (file dialog, typed path, Return)"
sleep 0.5
click 613 51
until_ok 100 xdotool search --onlyvisible --name "Select firmware"
dialog=$(xdotool search --onlyvisible --name "Select firmware" | head -1)
xdotool windowfocus --sync "$dialog" || true
sleep 0.5
xdotool key ctrl+a
xdotool type --delay 5 "$(windows_path "$work/sample.brox")"
xdotool key Return
until_ok 50 bash -c "! xdotool search --onlyvisible --name 'Select firmware'"

echo "== Send ($blocks blocks)"
sleep 0.3
click 656 51
until_ok 600 at_least 2 "$blocks"
sleep 0.5  # the last answer's line and the progress bar are drawn
mkdir -p "$(dirname "$picture")"
import -window "$window" "$picture"
echo "window taken: $picture"

echo "== Exit, then the window's close box"
click 75 90
until_ok 50 bash -c "grep -q 'host disconnected' '$work/frames.log'"
xdotool key --window "$window" alt+F4 || true
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill "$app_pid" 2>/dev/null && echo "the window did not close" >&2
wait "$app_pid" 2>/dev/null || true
app_pid=
echo "== flash check"
check_flash
