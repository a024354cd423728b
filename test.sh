#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   SANITIZE=address,undefined ./test.sh   builds into build-address-undefined/
#   SANITIZE=thread TEST_LABEL="comm|log" ./test.sh   only the tests of those folders
#   SK_TARGET=windows ./test.sh   cross-builds for Windows into build-windows/ and runs the tests
#                                 under Wine (scripts/windows-test.sh)
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
if [ "${SK_TARGET:-}" = windows ]; then
  exec ./scripts/windows-test.sh
fi
sanitize=${SANITIZE:-}
build_dir=${BUILD_DIR:-build${sanitize:+-${sanitize//,/-}}}
cmake -S . -B "$build_dir" -G Ninja -DSK_SANITIZE="$sanitize" ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"
ctest_args=(--test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" --timeout 300)
[ -n "${TEST_LABEL:-}" ] && ctest_args+=(-L "$TEST_LABEL")
ctest "${ctest_args[@]}"
