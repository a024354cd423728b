#!/usr/bin/env bash
# The receive-path stress test run long: every case with CHUNKS chunks (default 1000000), rounds
# until SECONDS_TOTAL have passed (default 300). Prints the chunks and bytes each round handled.
#   scripts/receive-stress.sh [CHUNKS] [SECONDS_TOTAL] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
chunks=${1:-1000000}
seconds=${2:-300}
build=${3:-build}
binary="$build/bin/test_comm_stress"
[ -x "$binary" ] || { echo "missing $binary: build the test_comm_stress target first" >&2; exit 2; }
end=$((SECONDS + seconds))
round=0
while ((SECONDS < end)); do
  round=$((round + 1))
  seed=$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')
  echo "round $round, seed $seed, $chunks chunks per case"
  if ! SK_STRESS_CHUNKS=$chunks SK_STRESS_SEED=$seed "$binary" --gtest_brief=1; then
    echo "FAILED in round $round with seed $seed" >&2
    exit 1
  fi
done
echo "passed: $round rounds of $chunks chunks per case"
