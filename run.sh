#!/usr/bin/env bash
# Installs what is missing, builds the programs, and flashes a sample image into the simulated
# device with the command-line loader (scripts/demo.sh; arguments go to bootshell-cli).
#   BUILD_DIR=build-x ./run.sh     another build folder (default: build)
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)" --target bootshell-cli zr48-sim brox
BIN_DIR="$build_dir/bin" exec ./scripts/demo.sh "$@"
