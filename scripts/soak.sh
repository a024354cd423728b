#!/usr/bin/env bash
# Soak: N transfers (default 1000) of random sizes through bootshell-cli against zr48-sim with
# random faults (noise, split answers, a dropped answer, a hang-up mid-transfer, slow flash),
# each of which must end in the exit status its fault calls for; then the same number of runs
# in one long-lived process (test_soak), whose descriptors, threads and resident memory must
# stay flat.
#   scripts/soak.sh 50            a short soak (CI)
#   SOAK_SEED=7 scripts/soak.sh   other random choices (default: 13)
#   SOAK_ANSWER_TIMEOUT=5 ...     seconds a missing answer may take (default: 2)
set -euo pipefail
cd "$(dirname "$0")/.."
transfers=${1:-1000}
seed=${SOAK_SEED:-13}
# The slowest fault-free answer is a 10 ms flash delay behind a block on an unpaced line; on a
# loaded machine the scheduler adds to it. A dropped answer is only declared after this long,
# so it is generous rather than tight: a run fails on a fault, not on a busy machine.
answer_timeout=${SOAK_ANSWER_TIMEOUT:-2}
bin=${BIN_DIR:-build/bin}
work=$(mktemp -d)
source scripts/sim-lib.sh
trap 'stop_sim; rm -rf "$work"' EXIT
for program in bootshell-cli brox zr48-sim test_soak; do
  [ -x "$bin/$program" ] || { echo "soak: $bin/$program is missing (build first)" >&2; exit 2; }
done

RANDOM=$seed
declare -A runs=()
failures=0
started=$(date +%s)
for ((i = 1; i <= transfers; i++)); do
  size=$((2048 + (RANDOM * 32768 + RANDOM) % (46 * 1024)))
  if ((size <= 4096)); then cycles=1; else cycles=$(((size - 2048 + 2047) / 2048)); fi
  last_frame=$((1 + 2 * cycles))
  fault_args=()
  expected=0
  case $((RANDOM % 6)) in
    0) fault=none ;;
    1) fault=noise; fault_args=(--noise --seed "$RANDOM") ;;
    2) fault=split; fault_args=(--split --split-size $((1 + RANDOM % 8)) --split-gap $((RANDOM % 2))) ;;
    3) fault=drop; fault_args=(--drop-answer $((2 + RANDOM % (last_frame - 1)))); expected=6 ;;
    4) fault=hangup; fault_args=(--hangup-after $((2 + RANDOM % (last_frame - 1)))); expected=7 ;;
    *) fault=slow; fault_args=(--flash-delay $((1 + RANDOM % 10))) ;;
  esac
  make_image "$size" 2>/dev/null
  start_sim $((100 + i % 100)) 0 "${fault_args[@]}"
  status=0
  "$bin/bootshell-cli" "$work/sample.brox" --port "$sim_port" --answer-timeout "$answer_timeout" \
    --connect-timeout 10 --quiet >"$work/cli.out" 2>"$work/cli.err" || status=$?
  if [ "$status" -ne "$expected" ]; then
    failures=$((failures + 1))
    echo "soak: run $i ($fault ${fault_args[*]}, $size bytes) ended with $status, not $expected:" >&2
    cat "$work/cli.err" >&2
  elif [ "$expected" -eq 0 ] && ! check_flash >/dev/null; then
    failures=$((failures + 1))
    echo "soak: run $i ($fault, $size bytes) left a wrong flash" >&2
  fi
  stop_sim
  runs[$fault]=$((${runs[$fault]:-0} + 1))
done
mix=""
for f in "${!runs[@]}"; do mix+=" $f=${runs[$f]}"; done
echo "soak: $transfers command-line runs ($mix ) in $(($(date +%s) - started)) s, $failures failed"

echo "soak: $transfers runs in one process"
SOAK_TRANSFERS=$transfers SOAK_SEED=$seed "$bin/test_soak" --gtest_brief=1 || failures=$((failures + 1))
[ "$failures" -eq 0 ]
