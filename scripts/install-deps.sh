#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; skips what is already there.
# SK_TARGET=windows adds the mingw-w64 cross compiler and Wine for the Windows build.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config
          libgtest-dev libgmock-dev libbenchmark-dev
          libfmt-dev libcli11-dev libcrypto++-dev
          clang libclang-rt-14-dev ccache
          qt6-base-dev nlohmann-json3-dev libudev1
          xvfb xdotool imagemagick
          qt6-serialport-dev libsqlite3-dev libssl-dev)
if [ "${SK_TARGET:-}" = windows ]; then
  packages+=(mingw-w64 g++-mingw-w64-x86-64-posix wine wine64 socat)
fi
packages+=(${SK_EXTRA_PACKAGES:-})
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
