#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each for a bounded time, starting
# from its seed corpus in fuzz/corpus/<target>/ when it has one.
# Exits non-zero when a fuzzer finds a crash, a sanitizer report or a difference.
#   FUZZ_SECONDS=300 scripts/run-fuzz.sh   runs each target longer
#   scripts/run-fuzz.sh fuzz_port_map       runs only the targets named
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-25}
build_dir=build-fuzz
targets=(fuzz_packets_differential fuzz_packets_bounds fuzz_sim_frame_parser fuzz_log_format
  fuzz_port_map fuzz_image_decrypt)
[ $# -gt 0 ] && targets=("$@")

CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DSK_FUZZ=ON -DSK_BENCH=OFF \
  -DSK_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --target "${targets[@]}"

status=0
for target in "${targets[@]}"; do
  corpus="$build_dir/corpus/$target"
  artifacts="$build_dir/artifacts/$target/"
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  [ -d "fuzz/corpus/$target" ] && seeds=("fuzz/corpus/$target")
  echo "== $target: ${seconds}s"
  if ! "$build_dir/bin/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus" \
       "${seeds[@]}" 2>"$build_dir/$target.log"; then
    status=1
    echo "!! $target found a problem; input saved in $artifacts" >&2
    tail -n 60 "$build_dir/$target.log" >&2
  else
    grep -E '^stat::number_of_executed_units|^Done' "$build_dir/$target.log" || true
  fi
done
exit $status
