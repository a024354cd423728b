#!/usr/bin/env bash
# Flashes a sample image into the simulated ZR48 with the command-line loader and checks what
# arrived in its flash against the bytes the loader is meant to send.
#   DEMO_IMAGE_SIZE=100000 scripts/demo.sh     another image size (at least 2048 bytes)
#   SIM_BAUD=0 scripts/demo.sh                 an unpaced device (default: a 230400-baud line)
#   scripts/demo.sh --link bluetooth           further arguments go to bootshell-cli
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${BIN_DIR:-build/bin}
size=${DEMO_IMAGE_SIZE:-10240}
baud=${SIM_BAUD:-230400}
work=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
# The simulator's port goes into a port map of its own, not the user's.
export SK_PORTMAP_DIR="$work/ports"

echo "== image tool: encrypt a $size-byte sample image"
head -c "$size" /dev/urandom >"$work/plain.bin"
"$bin/brox" encrypt "$work/plain.bin" "$work/sample.brox"

echo "== device simulator"
pacing=()
[ "$baud" -gt 0 ] && pacing=(--baud "$baud")
"$bin/zr48-sim" --port 7 "${pacing[@]}" --flash-out "$work/flash.bin" --exit-after-image \
  --frame-log "$work/frames.log" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 200); do
  [ -s "$work/sim.out" ] && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "the simulator did not start" >&2; exit 1; }
  sleep 0.05
done
read -r tty port <"$work/sim.out"
echo "ZR48 in boot mode on $tty, entered as $port"

echo "== command-line loader"
status=0
"$bin/bootshell-cli" "$work/sample.brox" --port "$port" "$@" || status=$?
# The simulator ends by itself once the loader has closed the port after writing blocks.
[ "$status" -eq 0 ] || kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" || true
sim_pid=
if [ "$status" -ne 0 ]; then
  echo "bootshell-cli ended with status $status" >&2
  exit "$status"
fi

echo "== flash check"
# Of every 2048-byte chunk only the first 1024 bytes are sent, to the chunk's own offset from
# 0x08002000; the last chunk is sent only when it is the only one. Unwritten flash reads 0xFF.
blocks=0
: >"$work/expected.bin"
for ((p = 0; p == 0 || p < size - 2048; p += 2048)); do
  if ((p > 0)); then head -c 1024 /dev/zero | tr '\0' '\377' >>"$work/expected.bin"; fi
  dd if="$work/plain.bin" bs=1024 skip=$((p / 1024)) count=1 status=none >>"$work/expected.bin"
  blocks=$((blocks + 1))
done
frames=$(grep -c '^rx data .* ok$' "$work/frames.log" || true)
if cmp -s "$work/expected.bin" "$work/flash.bin"; then
  echo "flash matches: $blocks blocks of 1024 bytes, $frames data frames logged by the device"
else
  echo "flash differs from the expected $blocks blocks:" >&2
  cmp "$work/expected.bin" "$work/flash.bin" >&2 || true
  exit 1
fi
