# Shared by the scripts that drive a real window on a virtual X server (sourced): waiting for
# a condition, the device's answers counted in its frame log, and the server's start.
# Expects $work (the scratch folder holding frames.log).

# until_ok TRIES COMMAND...: runs COMMAND every 0.1 s until it succeeds; fails after TRIES.
until_ok() {
  local tries=$1
  shift
  for _ in $(seq "$tries"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "gave up waiting for: $*" >&2
  return 1
}
answers() { grep -c "^tx $1 " "$work/frames.log" || true; }
at_least() { [ "$(answers "$1")" -ge "$2" ]; }

# start_xvfb NUMBER: a virtual X server on display :NUMBER, as $DISPLAY; sets $xvfb_pid.
start_xvfb() {
  local display=:$1
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display
  until_ok 100 xdotool getdisplaygeometry
}
