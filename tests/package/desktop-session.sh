# Sourced by the scripts that run as the throw-away account.

# A virtual display that never resets between programs, with an XEmbed tray;
# exports DISPLAY and leaves the two processes' ids in DESKTOP_PIDS.
startDesktop() {
  local number
  # A number no other server holds (Xvfb ends at once on a taken one).
  for _ in $(seq 20); do
    number=$(( 90 + RANDOM % 800 ))
    [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ] || break
  done
  Xvfb ":$number" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  DESKTOP_PIDS="$!"
  export DISPLAY=":$number" QT_QPA_PLATFORM=xcb
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xdpyinfo >/dev/null 2>&1 || { echo "no virtual display on $DISPLAY"; return 1; }
  trayer --edge top --align right --widthtype request --height 28 --SetDockType true >/dev/null 2>&1 &
  DESKTOP_PIDS="$DESKTOP_PIDS $!"
  sleep 1
}

# Waits up to TENTHS tenths of a second for a line matching PATTERN in FILE;
# shows the file when it does not come.
waitForLine() {
  local pattern=$1 file=$2 tenths=${3:-300}
  for _ in $(seq "$tenths"); do grep -q "$pattern" "$file" 2>/dev/null && return 0; sleep 0.1; done
  echo "did not see \"$pattern\" in $file:"; cat "$file" 2>/dev/null; return 1
}
