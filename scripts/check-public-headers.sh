#!/usr/bin/env bash
# Compiles every installed public header of SerialKit alone (a source file of only that include),
# against the installed include folder and nothing else of this tree, for Linux and for the
# Windows cross-build. Fails when a header reaches one of the library's own headers (they are not
# installed) or when a serialkit header itself includes an operating-system header.
#   TARGETS="linux windows"   which builds to check (both by default)
#   KEEP=1                    keep the scratch folder (printed) for a look at the -H output
set -euo pipefail
cd "$(dirname "$0")/.."
targets=${TARGETS:-linux windows}
scratch=$(mktemp -d)
if [ -n "${KEEP:-}" ]; then
  echo "scratch folder: $scratch"
else
  trap 'rm -rf "$scratch"' EXIT
fi

# The system's own headers that must not come through a public header, wherever they lie.
forbidden='/(windows|winbase|windef|winnt|winuser|winreg|winioctl|winsock2?|ws2tcpip|setupapi|cfgmgr32|dbt|devguid|initguid|ntddser|termios|unistd|fcntl|poll|dlfcn|pthread|libudev|pty|utmp)\.h$|/(sys|linux|asm|asm-generic)/[^/]+\.h$'

# Installs the headers of a library-only build (no build needed, only the configure).
install_headers() { # target build-folder prefix cmake-args...
  local build=$2 prefix=$3
  shift 3
  cmake -S . -B "$build" -G Ninja -DSK_PROGRAMS=OFF -DSK_TESTS=OFF -DSK_BENCH=OFF "$@" >"$build.log" 2>&1 ||
    { cat "$build.log"; exit 1; }
  cmake --install "$build" --component headers --prefix "$prefix" >/dev/null
}

# Compiles one header alone with -H and prints what is wrong with it, nothing when it is clean.
check_one() { # prefix header compiler flags...
  local prefix=$1 header=$2 compiler=$3
  shift 3
  local name=${header#"$prefix/include/"} tu out
  tu="$scratch/$(echo "$name" | tr '/' '_').cpp"
  printf '#include <%s>\n' "$name" >"$tu"
  if ! out=$("$compiler" -std=c++20 -fsyntax-only -Wall -Wextra -H "$@" -I"$prefix/include" "$tu" 2>&1); then
    local missing
    missing=$(grep -oE 'fatal error: [^:]+: No such file' <<<"$out" | sed 's/fatal error: //; s/: No such.*//' | head -1)
    if [ -n "$missing" ]; then
      echo "$name: reaches $missing, which is not public"
    else
      echo "$name: does not compile alone:"
      grep -E 'error' <<<"$out" | head -5 | sed 's/^/    /'
    fi
    return 0
  fi
  # -H prints one line per header opened, dots for its depth: follow the chain of includers and
  # report each forbidden header that a serialkit header includes itself.
  awk -v root="$prefix/include/" -v forbidden="$forbidden" -v name="$name" '
    /^\.+ / {
      depth = length($1); path = $2; chain[depth] = path
      parent = depth > 1 ? chain[depth - 1] : ""
      if (index(parent, root) == 1 && path ~ forbidden) {
        via = ""
        for (d = 1; d < depth; d++) via = via (d > 1 ? " > " : "") substr(chain[d], length(root) + 1)
        sub(/.*\/include\//, "", path)
        printf "%s: includes <%s> through %s\n", name, path, via
      }
    }' <<<"$out" | sort -u
}

failed=0
for target in $targets; do
  prefix="$scratch/$target-prefix"
  case $target in
  linux)
    install_headers linux "$scratch/linux-build" "$prefix" -DSK_GUI=ON
    compiler=${CXX:-g++}
    qt_flags=$(pkg-config --cflags Qt6Widgets 2>/dev/null || true)
    target_flags=()
    ;;
  windows)
    install_headers windows "$scratch/windows-build" "$prefix" \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DSK_GUI=OFF
    compiler=x86_64-w64-mingw32-g++-posix
    qt_flags=
    target_flags=(-D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX)
    ;;
  *)
    echo "unknown target $target" >&2
    exit 2
    ;;
  esac
  headers=$(find "$prefix/include/serialkit" -name '*.h' | sort)
  count=$(wc -l <<<"$headers")
  report="$scratch/$target-report.txt"
  : >"$report"
  for header in $headers; do
    flags=("${target_flags[@]}")
    case $header in */serialkit/widgets/*)
      [ -n "$qt_flags" ] || { echo "Qt 6 Widgets not found for the widget headers" >>"$report"; continue; }
      read -ra extra <<<"$qt_flags"
      flags+=("${extra[@]}" -fPIC)
      ;;
    esac
    check_one "$prefix" "$header" "$compiler" "${flags[@]}" >>"$report"
  done
  if [ -s "$report" ]; then
    failed=1
    echo "public headers ($target): $(cut -d: -f1 "$report" | sort -u | wc -l) of $count not clean"
    sed 's/^/  /' "$report"
  else
    echo "public headers ($target): all $count compile alone, none reaches a private or system header"
  fi
done
exit $failed
