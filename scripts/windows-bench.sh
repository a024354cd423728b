#!/usr/bin/env bash
# The paced transfer figure of the Windows loaders under Wine beside the build machine's own
# in the same run: a 256 KiB image to the simulated device pacing its line at 921600 baud,
# total time over wire time (frames and answers at 11 bits a byte, 8N2). For the command line
# the total is its own "Image written ... in T s" less its handshake time, so that neither
# Wine's start nor the port's opening counts; for the window (bench_window_win32.exe, the
# native window driven in-process) it is from the "Send" click to the panel that says the file
# is written. The window's run also gives its paints during the transfer and the CPU of the
# connected, idle window; the size of the stripped bootshell.exe ends the report.
#   scripts/windows-bench.sh [RUNS]   after builds of build/ and build-windows/ (the latter
#                                     configured with -DSK_BENCH=ON for the window's program)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
build_dir=${BUILD_DIR:-build-windows}
bin=${NATIVE_BUILD_DIR:-build}/bin
win_bin=$build_dir/bin
for program in "$bin/bootshell-cli" "$bin/brox" "$bin/zr48-sim" "$win_bin/bootshell-cli.exe" \
  "$win_bin/bootshell.exe" "$win_bin/bench_window_win32.exe" \
  "$win_bin/bench_pending_wait_cost.exe"; do
  [ -x "$program" ] || { echo "windows-bench: $program is missing (build first)" >&2; exit 2; }
done
work=$(mktemp -d)
source scripts/sim-lib.sh
source scripts/wine-lib.sh
trap 'stop_sim; wine_stop; rm -rf "$work"' EXIT
wine_start

# wire: the device's frame log's bytes in seconds on the line. Host bytes: 8 per address frame,
# 1028 per data frame; answers from the first address on: their text between "answerB<tag>"
# and "answerE<tag>".
wire() {
  awk '/^rx address/ { on = 1 }
       on && /^rx address .* ok$/ { bytes += 8 }
       on && /^rx data .* ok$/ { bytes += 1028 }
       on && /^tx [0-9]+ / { text = $0; sub(/^tx [0-9]+ /, "", text);
                             bytes += length(text) + 2 * (7 + length($2)) }
       END { printf "%.4f", bytes * 11 / 921600 }' "$work/frames.log"
}

# figure TOTAL_SECONDS: "total, wire, ratio" for the run just ended.
figure() {
  awk -v t="$1" -v w="$(wire)" \
    'BEGIN { printf "%.3f s total, %.3f s wire, %.3f of the wire time", t, w, t / w }'
}

# cli_total: the command line's total, from its output.
cli_total() {
  local seconds handshake_ms
  seconds=$(sed -n 's/^Image written: .* in \([0-9.]*\) s$/\1/p' "$work/cli.out")
  handshake_ms=$(sed -n 's/^The boot loader answered the handshake after \([0-9]*\) ms$/\1/p' \
    "$work/cli.out")
  awk -v s="$seconds" -v h="$handshake_ms" 'BEGIN { printf "%.4f", s - h / 1000 }'
}

make_image $((256 * 1024))
for ((i = 1; i <= runs; i++)); do
  for side in native wine window; do
    start_sim $((44 + i % 2)) 921600
    case $side in
      native)
        "$bin/bootshell-cli" "$work/sample.brox" --port "$sim_port" --link bluetooth >"$work/cli.out"
        ;;
      wine)
        map_port 46 "$sim_tty"
        # Console lines end in CR LF there.
        wine_run "$win_bin/bootshell-cli.exe" "$(windows_path "$work/sample.brox")" --port COM46 \
          --link bluetooth | tr -d '\r' >"$work/cli.out"
        ;;
      window)
        # The window's chooser lists only the ports in the system's map: the registered one.
        point_registered_port 43 "$sim_tty"
        wine_run "$win_bin/bench_window_win32.exe" COM43 "$(windows_path "$work/sample.brox")" |
          tr -d '\r' >"$work/window.out"
        ;;
    esac
    check_flash >/dev/null
    if [ "$side" = window ]; then
      total=$(sed -n 's/^Window transfer: \([0-9.]*\) s .*/\1/p' "$work/window.out")
      echo "run $i, bootshell.exe window: $(figure "$total")"
      grep -v '^Window transfer' "$work/window.out" | sed 's/^/  /'
    else
      echo "run $i, $side bootshell-cli: $(figure "$(cli_total)")"
    fi
  done
done
# What an idle port alone costs under Wine, for the idle window's figure above.
start_sim 46 0
map_port 46 "$sim_tty"
wine_run "$win_bin/bench_pending_wait_cost.exe" COM46 | tr -d '\r'
stop_sim
x86_64-w64-mingw32-strip -o "$work/bootshell.exe" "$win_bin/bootshell.exe"
echo "bootshell.exe: $(stat -c %s "$work/bootshell.exe") bytes stripped" \
  "($(stat -c %s "$win_bin/bootshell.exe") as built)"
