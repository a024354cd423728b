#!/usr/bin/env bash
# End to end on Windows: the Windows command-line loader, under Wine, finds COM43 in the
# system's serial-port map (a pseudo-terminal entered in Wine's port key) and writes a
# 10240-byte image to the simulated device on it, and the device's flash is checked; the
# Windows image tool encrypts and decrypts byte-exact with the build machine's.
# Run by scripts/windows-test.sh, whose Wine server it uses.
#   windows-e2e.sh WINDOWS_BIN NATIVE_BIN
set -euo pipefail
cd "$(dirname "$0")/.."
win_bin=$1
bin=$2
build_dir=$(dirname "$win_bin")
work=$(mktemp -d)
source scripts/sim-lib.sh
source scripts/wine-lib.sh
# The Wine server and the shim are the calling stage's; COM43 stays entered for the next run.
trap 'stop_sim; rm -rf "$work"' EXIT

make_image 10240
start_sim 43 0
point_registered_port 43 "$sim_tty"
# The port is found as an operator would find it: in the system's serial-port map.
wine_run "$win_bin/bootshell-cli.exe" --list-ports >"$work/ports.out"
if ! grep -q "^COM43[[:space:]]" "$work/ports.out"; then
  echo "windows-e2e: COM43 is not in bootshell-cli.exe's port list:" >&2
  cat "$work/ports.out" >&2
  exit 1
fi
status=0
wine_run "$win_bin/bootshell-cli.exe" "$(windows_path "$work/sample.brox")" --port COM43 \
  --link bluetooth --connect-timeout 20 --quiet >"$work/cli.out" 2>"$work/cli.err" || status=$?
if [ "$status" -ne 0 ]; then
  echo "windows-e2e: bootshell-cli.exe ended with $status:" >&2
  cat "$work/cli.out" "$work/cli.err" >&2
  exit 1
fi
flash=$(check_flash)
echo "windows-e2e: bootshell-cli.exe wrote the image; $flash"

# The image tool: the same ciphertext from the same plain image on both systems, and each
# decrypts the other's.
wine_run "$win_bin/brox.exe" encrypt "$(windows_path "$work/plain.bin")" \
  "$(windows_path "$work/windows.brox")"
cmp "$work/sample.brox" "$work/windows.brox"
wine_run "$win_bin/brox.exe" decrypt "$(windows_path "$work/sample.brox")" \
  "$(windows_path "$work/windows.bin")"
cmp "$work/plain.bin" "$work/windows.bin"
"$bin/brox" decrypt "$work/windows.brox" "$work/linux.bin"
cmp "$work/plain.bin" "$work/linux.bin"
echo "windows-e2e: brox.exe and brox encrypt and decrypt byte-exact alike"
