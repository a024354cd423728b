# Shared by the demo scripts (sourced): a sample image, the simulated ZR48 in a port map of
# its own, and the check of its flash against the bytes the loader is meant to send.
# Expects $bin (the programs) and $work (a scratch folder the caller removes).

sim_pid=
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=
  fi
}

# make_image SIZE: $work/plain.bin and its encryption $work/sample.brox.
make_image() {
  head -c "$1" /dev/urandom >"$work/plain.bin"
  "$bin/brox" encrypt "$work/plain.bin" "$work/sample.brox"
}

# start_sim PORT_NO BAUD [more zr48-sim arguments]: sets $sim_tty and $sim_port. The port goes
# into a port map of its own ($work/ports), not the user's; the flash into $work/flash.bin.
start_sim() {
  local port_no=$1 baud=$2
  shift 2
  export SK_PORTMAP_DIR="$work/ports"
  local pacing=()
  [ "$baud" -gt 0 ] && pacing=(--baud "$baud")
  rm -f "$work/sim.out" "$work/flash.bin"
  "$bin/zr48-sim" --port "$port_no" "${pacing[@]}" --flash-out "$work/flash.bin" \
    --frame-log "$work/frames.log" "$@" >"$work/sim.out" &
  sim_pid=$!
  for _ in $(seq 200); do
    [ -s "$work/sim.out" ] && break
    kill -0 "$sim_pid" 2>/dev/null || { echo "the simulator did not start" >&2; return 1; }
    sleep 0.05
  done
  read -r sim_tty sim_port <"$work/sim.out"
}

# check_flash: ends the simulator (it writes its flash as it ends) and compares. Of every
# 2048-byte chunk only the first 1024 bytes are sent, to the chunk's own offset from
# 0x08002000; the last chunk is sent only when it is the only one. Unwritten flash reads 0xFF.
check_flash() {
  stop_sim
  local size blocks=0 frames
  size=$(stat -c %s "$work/plain.bin")
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
    return 1
  fi
}
