# Shared by the Windows test and figure scripts (sourced): a Wine prefix of the build folder's
# own, a Wine server kept up for the run, serial ports for Wine made of Linux pseudo-terminals,
# and the shim that lets Wine use those. Expects $build_dir (the Windows build folder).

# The build folder as an absolute path, whether $build_dir is given relative or absolute.
case $build_dir in
  /*) build_abs=$build_dir ;;
  *) build_abs=$PWD/$build_dir ;;
esac

# A prefix made once; no display, no debug channels, no downloads of Wine's .NET or browser
# add-ons, and the null graphics driver.
export WINEPREFIX="$build_abs/wineprefix"
# A program that crashes ends at once instead of waiting in Wine's debugger for an operator.
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
unset DISPLAY WAYLAND_DISPLAY

# The test-only preload that wine_start builds and wine_run gives Wine's programs.
wine_shim="$build_abs/wine-shim/libmodem_lines_shim.so"

# Programs and folders that the run started or made, ended and removed by wine_stop.
wine_helpers=()
wine_ports=()
wine_stop() {
  local pid port
  for pid in "${wine_helpers[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${wine_helpers[@]}"; do wait "$pid" 2>/dev/null || true; done
  for port in "${wine_ports[@]}"; do rm -f "$WINEPREFIX/dosdevices/com$port"; done
  wineserver -k 2>/dev/null || true
}

wine_start() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Making the Wine prefix $WINEPREFIX"
    wine wineboot --init >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    # The first start ran before the null driver was chosen; its desktop, left running, would
    # not pass the system's broadcasts on to the programs' windows.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
  register_ports
  # One server for the whole run instead of one per program (one that an earlier run of this
  # build folder left is taken over).
  wineserver -p 2>/dev/null || true
  # Wine starts its own system processes with the first program; two programs that come
  # first at the same time can hang there, so one starts them alone.
  wine cmd.exe /c exit 0
  # Pseudo-terminals have no modem lines and answer their requests with ENOTTY, which Wine
  # takes for a broken port (its event wait fails, SetCommState fails on DTR and RTS): a
  # test-only shim, built for the build machine, answers them. Only Wine's programs get it.
  mkdir -p "$(dirname "$wine_shim")"
  cc -O2 -Wall -Wextra -shared -fPIC -o "$wine_shim" tests/wine/modem_lines_shim.c -ldl
}

# wine_run PROGRAM ARGS...: a Windows program with the shim.
wine_run() {
  LD_PRELOAD="$wine_shim${LD_PRELOAD:+:$LD_PRELOAD}" wine "$@"
}

# Ports entered as a user maps them, in HKLM\Software\Wine\Ports: Wine's mount manager then
# makes the port and lists it in HARDWARE\DEVICEMAP\SERIALCOMM, where the port list reads it.
# Each entry names a link in the build folder, which point_registered_port aims at a run's
# terminal; the key is read only when Wine starts, so it is written once per prefix.
wine_registered_ports=(43)
register_ports() {
  local n added=0
  mkdir -p "$build_abs/wine-ports"
  for n in "${wine_registered_ports[@]}"; do
    [ -L "$build_abs/wine-ports/com$n" ] || ln -sfn /dev/null "$build_abs/wine-ports/com$n"
    if ! grep -qi "^\"COM$n\"=\"$build_abs/wine-ports/com$n\"" "$WINEPREFIX/system.reg"; then
      wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$build_abs/wine-ports/com$n" /f \
        >/dev/null 2>&1
      added=1
    fi
  done
  if ((added)); then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
}

# point_registered_port N PATH: the registered COM<N> opens the terminal PATH from now on.
point_registered_port() {
  ln -sfn "$(readlink -f "$2")" "$build_abs/wine-ports/com$1"
}

# map_port N PATH: COM<N> opens the terminal PATH. Wine's mount manager turns each value of
# HKLM\Software\Wine\Ports into such a link in the prefix's dosdevices folder when it starts;
# the link is made here directly, which a running Wine takes at once.
map_port() {
  ln -sfn "$(readlink -f "$2")" "$WINEPREFIX/dosdevices/com$1"
  wine_ports+=("$1")
}

# link_ports N M DIR: COM<N> and COM<M>, two pseudo-terminals linked back to back: what is
# written to one is read from the other. Their links are made in DIR.
link_ports() {
  socat pty,raw,echo=0,link="$3/com$1" pty,raw,echo=0,link="$3/com$2" &
  wine_helpers+=($!)
  wait_for "$3/com$1" "$3/com$2"
  map_port "$1" "$3/com$1"
  map_port "$2" "$3/com$2"
}

# wait_for FILE...: until each exists (the helper that makes them has started).
wait_for() {
  local f all
  for _ in $(seq 200); do
    all=1
    for f in "$@"; do [ -e "$f" ] || all=0; done
    ((all)) && return 0
    sleep 0.05
  done
  echo "$* did not appear" >&2
  return 1
}

# windows_path PATH: the name Wine gives PATH (its drive Z: is the root).
windows_path() {
  local p
  p=$(readlink -f "$1")
  echo "Z:${p//\//\\}"
}
