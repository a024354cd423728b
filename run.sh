#!/usr/bin/env bash
# Installs what is missing, builds, and shows bootshell at work on a simulated ZR48.
#  - With a display: the simulated device waits on COM3 (in a port map of its own) and the
#    main window opens on it; the script names the sample image to pick with "...".
#  - Without one: the command-line loader flashes a sample image (scripts/demo.sh), then the
#    window does the same transfer on Qt's offscreen platform and leaves a picture of itself
#    in build/main-window.png (scripts/window-demo.sh).
#   BUILD_DIR=build-x ./run.sh     another build folder (default: build)
#   ./run.sh --link bluetooth      without a display: arguments go to bootshell-cli
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja >/dev/null
targets=(bootshell-cli zr48-sim brox)
window=0
if cmake --build "$build_dir" --target help | grep -q '^bootshell-window-demo:'; then
  window=1
  targets+=(bootshell bootshell-window-demo)
fi
cmake --build "$build_dir" --parallel "$(nproc)" --target "${targets[@]}"
export BIN_DIR="$build_dir/bin"

if [ "$window" = 1 ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  bin=$BIN_DIR
  work=$(mktemp -d)
  source scripts/sim-lib.sh
  trap 'stop_sim; rm -rf "$work"' EXIT
  make_image "${DEMO_IMAGE_SIZE:-100000}"
  start_sim 3 "${SIM_BAUD:-230400}"
  echo "A simulated ZR48 in boot mode waits on COM3 ($sim_tty)."
  echo "In the window: \"Connect\", then \"...\" and pick $work/sample.brox, then \"Send\"."
  "$bin/bootshell"
  echo "== flash check"
  check_flash || true
  exit 0
fi

./scripts/demo.sh "$@"
if [ "$window" = 1 ]; then
  ./scripts/window-demo.sh "$build_dir/main-window.png"
  echo "No display: the window ran offscreen; see $build_dir/main-window.png"
else
  echo "Qt 6 was not found: the window program is not built"
fi
