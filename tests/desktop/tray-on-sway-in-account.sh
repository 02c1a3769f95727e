#!/usr/bin/env bash
# Runs as the throw-away account inside a session bus of its own: headless
# sway with swaybar, a machine set up as an approval device, the companion
# started as the desktop would start it. Checks that the icon registers with
# swaybar's watcher and is drawn light on the dark bar; that Activate at the
# icon's point opens the popover next to that point (floating, undecorated,
# on screen) and that three escalations grow it; that a second click on the
# icon closes it, and so do a click elsewhere and the Escape key; that the
# menu over dbusmenu lists "Quit Quorvane" and that choosing it asks the quit
# question.
#
#   tray-on-sway-in-account.sh BUILD_DIR    (SHOTS: a folder for screenshots, or empty)
set -euo pipefail
BUILD=$1
export XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
. "$(dirname "$0")/sway-session.sh"
PIDS=()
LOG="$XDG_RUNTIME_DIR/app.log"
stop() {
  for pid in "${PIDS[@]}" $SWAY_PIDS; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$XDG_RUNTIME_DIR"
}
trap stop EXIT
fail() { echo "FAIL: $*"; echo "-- companion:"; tail -n 30 "$LOG" 2>/dev/null; exit 1; }
# waitFor TENTHS COMMAND...: until the command succeeds.
waitFor() {
  local tenths=$1; shift
  for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}
shot() { [ -n "${SHOTS:-}" ] && grim "$SHOTS/sway-$1.png" && echo "screenshot sway-$1.png"; return 0; }

startSway || fail "the Wayland desktop did not start"
# A mouse and a keyboard, there from the start as a person's are.
coproc INPUT { python3 "$(dirname "$0")/wayland-input.py" 1280 800; }
PIDS+=("$INPUT_PID")
# input COMMAND: a click or a key, once the compositor has taken it.
input() {
  local reply
  echo "$*" >&"${INPUT[1]}"
  read -r -t 10 reply <&"${INPUT[0]}" && [ "$reply" = ok ] || fail "the virtual input did not take \"$*\""
}
read -r -t 10 READY <&"${INPUT[0]}" && [ "$READY" = ready ] || fail "no virtual mouse and keyboard"

export QUORVANE_HOME="$HOME/home" QUORVANE_CREDENTIAL_STORE=file QUORVANE_PRESENCE=grant
mkdir -p "$QUORVANE_HOME"
"$BUILD/bin/quorvane-demo-provision" "$QUORVANE_API_BASE_URL" sway@example.com >/dev/null
: >"$QUORVANE_HOME/.quorvane/machine/approver-only"
QUORVANE_REPORT_PENDING=1 "$BUILD/bin/quorvane-app" --report-ready >"$LOG" 2>&1 &
APP_PID=$!
PIDS+=("$APP_PID")
ITEM="org.kde.StatusNotifierItem-$APP_PID-1"

echo "== the icon in swaybar"
registered() {
  busctl --user get-property org.kde.StatusNotifierWatcher /StatusNotifierWatcher org.kde.StatusNotifierWatcher \
    RegisteredStatusNotifierItems | grep -q "$ITEM"
}
waitFor 200 registered || fail "our item never registered with swaybar's watcher"
# The bar is black: our icon is the light ink at its right end. Its box, from a screenshot.
iconBox() {
  grim -g "1180,0 100x24" - | convert png:- txt:- | python3 -c '
import re, sys
xs, ys = [], []
for line in sys.stdin:
    m = re.match(r"(\d+),(\d+): \((\d+),(\d+),(\d+)", line)
    if m and min(int(m[3]), int(m[4]), int(m[5])) > 180:
        xs.append(int(m[1])); ys.append(int(m[2]))
if len(xs) < 12: sys.exit(1)
print(1180 + min(xs), min(ys), 1180 + max(xs), max(ys))'
}
waitFor 100 iconBox || fail "no light icon at the right end of the dark bar"
read -r X0 Y0 X1 Y1 < <(iconBox)
CLICK_X=$(( (X0 + X1) / 2 )) CLICK_Y=$(( (Y0 + Y1) / 2 ))
echo "icon at ${X0},${Y0}-${X1},${Y1}"
shot bar

# The popover: our visible 360-pixel-wide window, as XWayland knows it.
popover() {
  local id
  for id in $(xdotool search --onlyvisible --class quorvane-app 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    if [ "$WIDTH" -eq 360 ]; then echo "$X $Y $WIDTH $HEIGHT"; return 0; fi
  done
  return 1
}

echo "== Activate at the icon's point"
START=$(date +%s%N)
busctl --user call "$ITEM" /StatusNotifierItem org.kde.StatusNotifierItem Activate ii "$CLICK_X" "$CLICK_Y"
waitFor 50 popover || fail "no popover after Activate"
echo "popover shown after $(( ($(date +%s%N) - START) / 1000000 )) ms"
read -r PX PY PW PH < <(popover)
echo "popover at $PX,$PY ${PW}x${PH}"
[ "$PX" -ge 0 ] && [ "$PY" -ge 0 ] && [ $((PX + PW)) -le 1280 ] && [ $((PY + PH)) -le 800 ] \
  || fail "the popover is not wholly on screen"
GAP_Y=$(( PY > CLICK_Y ? PY - CLICK_Y : CLICK_Y - PY - PH ))
GAP_X=$(( CLICK_X < PX ? PX - CLICK_X : CLICK_X > PX + PW ? CLICK_X - PX - PW : 0 ))
[ "$GAP_Y" -le 48 ] && [ "$GAP_X" -le 48 ] || fail "the popover is ${GAP_X}x${GAP_Y} px away from the icon"
[ -z "$(swayWindows quorvane-app)" ] || fail "sway manages the popover as a window: $(swayWindows quorvane-app)"

echo "== three escalations grow it"
add_action() {
  curl -sf -X POST -H 'Content-Type: application/json' --data "$1" "$QUORVANE_API_BASE_URL/_control/actions" >/dev/null
}
HEIGHTS=()
for n in 1 2 3; do
  add_action '{"agent_id":"agt-'$n'","agent_name":"agent-'$n'","agent_machine":"workstation","machine_agent_count":1,"tool_name":"Bash","classification":"medium","tool_input":{"command":"make deploy-'$n'","short_summary":"Deploy step '$n'"}}'
  waitFor 100 grep -q "pending count $n" "$LOG" || fail "the count never reached $n"
  sleep 0.5 # the list's growth is animated
  read -r _ _ _ H < <(popover) || fail "the popover closed at $n pending"
  HEIGHTS+=("$H")
done
echo "heights with 1, 2, 3 pending: ${HEIGHTS[*]}"
[ "${HEIGHTS[2]}" -gt "${HEIGHTS[0]}" ] || fail "the popover did not grow"
shot popover

closed() { ! xdotool search --onlyvisible --class quorvane-app | grep -q .; }
echo "== a second click on the icon closes it"
busctl --user call "$ITEM" /StatusNotifierItem org.kde.StatusNotifierItem Activate ii "$CLICK_X" "$CLICK_Y"
waitFor 50 closed || fail "the popover stayed open"

echo "== a click elsewhere closes it"
busctl --user call "$ITEM" /StatusNotifierItem org.kde.StatusNotifierItem Activate ii "$CLICK_X" "$CLICK_Y"
waitFor 50 popover || fail "no popover after a third Activate"
read -r PX PY _ _ < <(popover)
input click $((PX + 40)) $((PY + 12))
sleep 0.5
popover >/dev/null || fail "a click on the popover's header closed it"
input click 200 500
waitFor 50 closed || fail "a click elsewhere left the popover open"

echo "== the keyboard reaches it: Escape closes it"
sleep 0.5 # an Activate right after a click elsewhere is that same click reaching the icon
busctl --user call "$ITEM" /StatusNotifierItem org.kde.StatusNotifierItem Activate ii "$CLICK_X" "$CLICK_Y"
waitFor 50 popover || fail "no popover after a fourth Activate"
input key Escape
waitFor 50 closed || fail "Escape left the popover open: it has no keyboard"

echo "== the menu over dbusmenu"
busctl --user -- call "$ITEM" /MenuBar com.canonical.dbusmenu GetLayout iias 0 -1 0 >"$XDG_RUNTIME_DIR/layout"
for label in "Pause Notifications" "Freeze all" "Open Quorvane" "Quit Quorvane"; do
  grep -q "\"$label\"" "$XDG_RUNTIME_DIR/layout" || fail "the menu lacks \"$label\": $(cat "$XDG_RUNTIME_DIR/layout")"
done
QUIT_ID=$(python3 -c '
import re, sys
text = open(sys.argv[1]).read()
# Each child reads: (ia{sv}av) <id> <n> "children-display"... ; take the id before the "Quit Quorvane" label.
ids = [(m.start(), int(m.group(1))) for m in re.finditer(r"\(ia\{sv\}av\) (\d+)", text)]
at = text.index("\"Quit Quorvane\"")
print([i for pos, i in ids if pos < at][-1])' "$XDG_RUNTIME_DIR/layout")
busctl --user call "$ITEM" /MenuBar com.canonical.dbusmenu Event isvu "$QUIT_ID" clicked i 0 0
waitFor 50 xdotool search --onlyvisible --name '^Quorvane$' || fail "\"Quit Quorvane\" asked nothing"
shot quit-question
echo "all checks passed"
