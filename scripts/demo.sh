#!/usr/bin/env bash
# Shows the programs at work on a sample image.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${BIN_DIR:-build/bin}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 10240 /dev/urandom >"$work/plain.bin"
echo "== image tool: encrypt and decrypt a 10240-byte sample image"
"$bin/brox" encrypt "$work/plain.bin" "$work/sample.brox"
"$bin/brox" decrypt "$work/sample.brox" "$work/roundtrip.bin"
cmp "$work/plain.bin" "$work/roundtrip.bin" && echo "round trip: identical"
od -A x -t x1 -N 32 "$work/sample.brox"
