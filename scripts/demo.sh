#!/usr/bin/env bash
# Flashes a sample image into the simulated ZR48 with the command-line loader and checks what
# arrived in its flash against the bytes the loader is meant to send.
#   DEMO_IMAGE_SIZE=100000 scripts/demo.sh     another image size (at least 2048 bytes)
#   SIM_BAUD=0 scripts/demo.sh                 an unpaced device (default: a 230400-baud line)
#   scripts/demo.sh --link bluetooth           further arguments go to bootshell-cli
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${BIN_DIR:-build/bin}
work=$(mktemp -d)
source scripts/sim-lib.sh
trap 'stop_sim; rm -rf "$work"' EXIT

size=${DEMO_IMAGE_SIZE:-10240}
echo "== image tool: encrypt a $size-byte sample image"
make_image "$size"

echo "== device simulator"
start_sim 7 "${SIM_BAUD:-230400}" --exit-after-image
echo "ZR48 in boot mode on $sim_tty, entered as $sim_port"

echo "== command-line loader"
status=0
"$bin/bootshell-cli" "$work/sample.brox" --port "$sim_port" "$@" || status=$?
if [ "$status" -ne 0 ]; then
  echo "bootshell-cli ended with status $status" >&2
  exit "$status"
fi
# The simulator ends by itself once the loader has closed the port after writing blocks.
wait "$sim_pid" || true
sim_pid=

echo "== flash check"
check_flash
