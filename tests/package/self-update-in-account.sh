#!/usr/bin/env bash
# Runs as the throw-away account: the older release archive unpacked into
# ~/.local/opt/quorvane, a machine set up against the reference back-end
# (which announces the newer release and sends an escalation, so the popover
# opens), then "Update" pressed on the popover's banner with xdotool, as a
# person would. The companion quits, the updater swaps in the newer release
# and starts it again.
#
#   self-update-in-account.sh OLD_ARCHIVE PROVISION_TOOL
set -euo pipefail
OLD_ARCHIVE=$1
PROVISION=$2
export XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
PREFIX="$HOME/.local/opt/quorvane"
mkdir -p "$PREFIX"
tar -xzf "$OLD_ARCHIVE" -C "$PREFIX"
[ "$(cat "$PREFIX/share/quorvane/release-version")" = 1.0.0 ] || { echo "the old archive is not 1.0.0"; exit 1; }

export QUORVANE_HOME="$HOME/update-home" QUORVANE_CREDENTIAL_STORE=file QUORVANE_PRESENCE=grant
# The desktop's folders stay the account's own (QUORVANE_HOME moves only ours).
export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config"
mkdir -p "$QUORVANE_HOME"
"$PROVISION" "$QUORVANE_API_BASE_URL" update@example.com >/dev/null
# Set up as an approval device: the companion goes straight to the tray.
: >"$QUORVANE_HOME/.quorvane/machine/approver-only"

. "$(dirname "$0")/desktop-session.sh"
startDesktop
stop() { pkill -u "$(id -u)" -f "$PREFIX/bin/quorvane-app" 2>/dev/null || true; kill $DESKTOP_PIDS 2>/dev/null || true; }
trap 'stop; rm -rf "$XDG_RUNTIME_DIR"' EXIT

LOG=$(mktemp)
"$PREFIX/bin/quorvane-app" --report-ready >"$LOG" 2>&1 &
UPDATE_LOG="$QUORVANE_HOME/.quorvane/update-check.log"
waitForLine "tray icon shown" "$LOG" 300
# An archive installation registers itself for quorvane: links on its first start.
ENTRY="$HOME/.local/share/applications/quorvane.desktop"
grep -qx "Exec=$PREFIX/bin/quorvane-app %u" "$ENTRY" || { echo "no user desktop entry for this installation"; exit 1; }
[ "$(DISPLAY= xdg-mime query default x-scheme-handler/quorvane)" = quorvane.desktop ] \
  || { echo "quorvane: links are not handed to this installation"; exit 1; }
waitForLine "newer=true" "$UPDATE_LOG" 300 || { echo "the companion wrote:"; cat "$LOG"; exit 1; }
# The first escalation opens the popover; if it has not by now, click the
# tray icon, as a person would.
if ! waitForLine "popover shown" "$LOG" 100 >/dev/null; then
  for id in $(xdotool search --onlyvisible --class quorvane-app); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    if [ "$WIDTH" -lt 64 ] && [ "$HEIGHT" -lt 64 ]; then
      xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
      break
    fi
  done
  waitForLine "popover shown" "$LOG" 200
fi

# The popover: the banner's "Update" sits at its right end, under the header
# and the "Freeze all" line; nothing else lies at that end of the banner's band.
# The tray icon is a window of the program too: take the popover, the large one.
WINDOW=
for id in $(xdotool search --onlyvisible --class quorvane-app); do
  eval "$(xdotool getwindowgeometry --shell "$id")"
  [ "$WIDTH" -ge 64 ] && { WINDOW=$id; break; }
done
[ -n "$WINDOW" ] || { echo "no popover window"; cat "$LOG"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$WINDOW")"
for offset in 84 90 96 78 102 108 72; do
  xdotool mousemove $((X + 325)) $((Y + offset)) click 1
  sleep 0.5
  grep -q "download starting" "$UPDATE_LOG" && break
done
waitForLine "download starting" "$UPDATE_LOG" 50

# The old program quits; the updater swaps the tree and starts the new one.
for _ in $(seq 300); do
  [ "$(cat "$PREFIX/share/quorvane/release-version" 2>/dev/null)" = 1.1.0 ] && break
  sleep 0.1
done
[ "$(cat "$PREFIX/share/quorvane/release-version")" = 1.1.0 ] || { echo "not updated:"; cat "$UPDATE_LOG"; exit 1; }
for _ in $(seq 300); do pgrep -u "$(id -u)" -f "$PREFIX/bin/quorvane-app" >/dev/null && break; sleep 0.1; done
pgrep -u "$(id -u)" -f "$PREFIX/bin/quorvane-app" >/dev/null || { echo "the new release was not started"; cat "$UPDATE_LOG"; exit 1; }
# The new program measures releases against its own version: nothing newer.
waitForLine "remote=1.1.0 local=1.1.0 newer=false" "$UPDATE_LOG" 300 || exit 1
echo "updated from 1.0.0 to 1.1.0 in $PREFIX and started again"
