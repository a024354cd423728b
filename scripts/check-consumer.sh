#!/usr/bin/env bash
# Installs SerialKit from a build of the library alone (no tests, programs or benchmarks) into a
# scratch prefix, then configures and builds examples/ as a project of its own with
# find_package(SerialKit) and runs its tests; tests/consumer/ stands in while examples/ is
# missing. Prints the consumer's configure + build time and the installed size.
#   BUILD_DIR=build-lib   the library's build folder (kept, so that the next run is quick)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD_DIR:-build-lib}
consumer=examples
[ -f examples/CMakeLists.txt ] || consumer=tests/consumer
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

cmake -S . -B "$build" -G Ninja -DSK_PROGRAMS=OFF -DSK_TESTS=OFF -DSK_BENCH=OFF ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --parallel "$(nproc)"
cmake --install "$build" --prefix "$prefix" >/dev/null

start=$(date +%s.%N)
cmake -S "$consumer" -B "$scratch/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/consumer" --parallel "$(nproc)"
end=$(date +%s.%N)
(cd "$scratch/consumer" && ctest --output-on-failure --timeout 120)

# pkg-config gives a program the same library.
PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --exact-version=0.2 serialkit
# shellcheck disable=SC2046
${CXX:-g++} -std=c++20 -o "$scratch/round_trip_pc" "$root/tests/consumer/round_trip.cpp" -L"$prefix/lib" -lserialkit_testing \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs serialkit)
"$scratch/round_trip_pc" >/dev/null

printf 'consumer %s: configure + build %.1f s against the installed package\n' "$consumer" \
  "$(echo "$end - $start" | bc)"
echo "installed size: $(du -sk "$prefix" | cut -f1) KiB ($(find "$prefix" -type f | wc -l) files)"
