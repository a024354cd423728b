#!/usr/bin/env bash
# The paced transfer figure of the Windows command-line loader under Wine beside the build
# machine's own in the same run: a 256 KiB image to the simulated device pacing its line at
# 921600 baud, total time over wire time (frames and answers at 11 bits a byte, 8N2). The
# total is the loader's own "Image written ... in T s" less its handshake time, so that
# neither Wine's start nor the port's opening counts.
#   scripts/windows-bench.sh [RUNS]   after builds of build/ and build-windows/
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
build_dir=${BUILD_DIR:-build-windows}
bin=${NATIVE_BUILD_DIR:-build}/bin
win_bin=$build_dir/bin
for program in "$bin/bootshell-cli" "$bin/brox" "$bin/zr48-sim" "$win_bin/bootshell-cli.exe"; do
  [ -x "$program" ] || { echo "windows-bench: $program is missing (build first)" >&2; exit 2; }
done
work=$(mktemp -d)
source scripts/sim-lib.sh
source scripts/wine-lib.sh
trap 'stop_sim; wine_stop; rm -rf "$work"' EXIT
wine_start

# figure: from the loader's output and the device's frame log, "total wire ratio".
figure() {
  local seconds handshake_ms wire
  seconds=$(sed -n 's/^Image written: .* in \([0-9.]*\) s$/\1/p' "$work/cli.out")
  handshake_ms=$(sed -n 's/^The boot loader answered the handshake after \([0-9]*\) ms$/\1/p' \
    "$work/cli.out")
  # Host bytes: 8 per address frame, 1028 per data frame; answers from the first address on:
  # their text between "answerB<tag>" and "answerE<tag>".
  wire=$(awk '/^rx address/ { on = 1 }
              on && /^rx address .* ok$/ { bytes += 8 }
              on && /^rx data .* ok$/ { bytes += 1028 }
              on && /^tx [0-9]+ / { text = $0; sub(/^tx [0-9]+ /, "", text);
                                    bytes += length(text) + 2 * (7 + length($2)) }
              END { printf "%.4f", bytes * 11 / 921600 }' "$work/frames.log")
  awk -v s="$seconds" -v h="$handshake_ms" -v w="$wire" \
    'BEGIN { t = s - h / 1000; printf "%.3f s total, %.3f s wire, %.3f of the wire time", t, w, t / w }'
}

make_image $((256 * 1024))
for ((i = 1; i <= runs; i++)); do
  for side in native wine; do
    start_sim $((44 + i % 2)) 921600
    if [ "$side" = native ]; then
      "$bin/bootshell-cli" "$work/sample.brox" --port "$sim_port" --link bluetooth >"$work/cli.out"
    else
      map_port 46 "$sim_tty"
      # Console lines end in CR LF there.
      wine_run "$win_bin/bootshell-cli.exe" "$(windows_path "$work/sample.brox")" --port COM46 \
        --link bluetooth | tr -d '\r' >"$work/cli.out"
    fi
    check_flash >/dev/null
    echo "run $i, $side bootshell-cli: $(figure)"
  done
done
