#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program against the simulated device.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --parallel "$(nproc)"
exec ./scripts/demo.sh "$@"
