#!/usr/bin/env bash
# Checks what scripts/package.sh made: each package holds exactly the files it must (the -dev
# package's headers are the public ones of serialkit/public_headers.cmake, no other), and the
# command-line loader runs from the unpacked programs package.
#   BUILD_DIR=build WINDOWS_BUILD_DIR=build-windows   where the packages are; a missing .zip is
#                                                     skipped unless SK_TARGET=windows or all
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
windows_build=${WINDOWS_BUILD_DIR:-build-windows}
version=$(sed -n 's/^project(bootshell VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0

# Compares a package's files (directories left out) with what must be there, exactly.
expect() { # package-name listing-file expected-file
  if ! diff -u "$3" "$2" >"$scratch/diff"; then
    echo "$1: files differ from what must be there (- missing, + unexpected):"
    grep -E '^[-+][^-+]' "$scratch/diff" | sed 's/^/  /'
    failed=1
  else
    echo "$1: $(wc -l <"$2") files, as expected"
  fi
}

deb_files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {sub(/^\.\//, "", $6); print $6}' | sort; }

programs=$build/packages/bootshell_${version}_amd64.deb
dev=$build/packages/libserialkit-dev_${version}_amd64.deb
for package in "$programs" "$dev"; do
  [ -f "$package" ] || { echo "missing $package: run scripts/package.sh" >&2; exit 1; }
done

deb_files "$programs" >"$scratch/programs.txt"
printf '%s\n' usr/bin/bootshell usr/bin/bootshell-cli usr/bin/brox usr/bin/zr48-sim \
  usr/share/applications/bootshell.desktop usr/share/icons/hicolor/128x128/apps/bootshell.png |
  sort >"$scratch/programs.expected"
expect bootshell "$scratch/programs.txt" "$scratch/programs.expected"

config=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt" | tr '[:upper:]' '[:lower:]')
# An empty build type is the top CMakeLists.txt's default.
config=${config:-relwithdebinfo}
deb_files "$dev" >"$scratch/dev.txt"
{
  cmake -P cmake/print_public_headers.cmake 2>&1 | sed 's|^|usr/include/|'
  printf 'usr/lib/%s\n' libserialkit.a libserialkit_testing.a libserialkit_widgets.a \
    pkgconfig/serialkit.pc cmake/SerialKit/SerialKitConfig.cmake \
    cmake/SerialKit/SerialKitConfigVersion.cmake cmake/SerialKit/SerialKitTargets.cmake \
    cmake/SerialKit/SerialKitTargets-$config.cmake \
    cmake/SerialKit/SerialKitWidgetsTargets.cmake \
    cmake/SerialKit/SerialKitWidgetsTargets-$config.cmake
} | sort >"$scratch/dev.expected"
expect libserialkit-dev "$scratch/dev.txt" "$scratch/dev.expected"
echo "libserialkit-dev: installed size $(dpkg-deb -f "$dev" Installed-Size) KiB"

dpkg-deb -x "$programs" "$scratch/root"
if "$scratch/root/usr/bin/bootshell-cli" --help >"$scratch/help.txt" 2>&1 && grep -q bootshell-cli "$scratch/help.txt"; then
  echo "bootshell-cli --help runs from the unpacked package"
else
  echo "bootshell-cli --help failed from the unpacked package:"
  sed 's/^/  /' "$scratch/help.txt"
  failed=1
fi

zip=$windows_build/packages/bootshell-${version}-win64.zip
if [ -f "$zip" ]; then
  python3 -c 'import sys, zipfile; print("\n".join(n for n in zipfile.ZipFile(sys.argv[1]).namelist() if not n.endswith("/")))' \
    "$zip" | sort >"$scratch/zip.txt"
  printf '%s\n' bin/bootshell.exe bin/bootshell-cli.exe bin/brox.exe | sort >"$scratch/zip.expected"
  expect "$(basename "$zip")" "$scratch/zip.txt" "$scratch/zip.expected"
elif [ "${SK_TARGET:-linux}" != linux ]; then
  echo "missing $zip: run SK_TARGET=windows scripts/package.sh" >&2
  failed=1
fi
exit $failed
