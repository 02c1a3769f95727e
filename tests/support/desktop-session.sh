# Sourced by the tests and scripts that run the real program on a virtual
# desktop: a virtual X server and an XEmbed tray, each waited for by asking it,
# never by sleeping.

# Starts Xvfb on a display number that no other server holds (Xvfb picks it
# and reports it once it accepts connections) and that never resets between
# programs; exports DISPLAY and adds the server's id to DESKTOP_PIDS.
startDisplay() {
  local reported
  reported=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$reported" >/dev/null 2>&1 &
  DESKTOP_PIDS="${DESKTOP_PIDS:-} $!"
  for _ in $(seq 200); do [ -s "$reported" ] && break; sleep 0.1; done
  if [ ! -s "$reported" ]; then
    echo "the virtual display did not start"; rm -f "$reported"; return 1
  fi
  export DISPLAY=":$(tr -d '\n' <"$reported")" QT_QPA_PLATFORM=xcb
  rm -f "$reported"
}

# Starts trayer (extra arguments go to it) and waits until its panel is mapped.
startTray() {
  trayer --edge top --align right --widthtype request --height 28 --SetDockType true "$@" >/dev/null 2>&1 &
  DESKTOP_PIDS="$DESKTOP_PIDS $!"
  for _ in $(seq 200); do
    [ -n "$(xdotool search --onlyvisible --class trayer 2>/dev/null)" ] && return 0
    sleep 0.1
  done
  echo "the tray did not appear on $DISPLAY"; return 1
}

startDesktop() {
  startDisplay && startTray "$@"
}

# Waits up to TENTHS tenths of a second for a line matching PATTERN in FILE;
# shows the file when it does not come.
waitForLine() {
  local pattern=$1 file=$2 tenths=${3:-300}
  for _ in $(seq "$tenths"); do grep -q "$pattern" "$file" 2>/dev/null && return 0; sleep 0.1; done
  echo "did not see \"$pattern\" in $file:"; cat "$file" 2>/dev/null; return 1
}

# Waits up to 20 s for a visible window titled exactly TITLE and prints its id;
# says so on standard error when none comes.
waitForWindow() {
  local title=$1 window
  for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1 || true)
    [ -n "$window" ] && { echo "$window"; return 0; }
    sleep 0.1
  done
  echo "no visible window \"$title\"" >&2; return 1
}
