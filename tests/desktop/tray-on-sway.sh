#!/usr/bin/env bash
# The companion's tray on a Wayland desktop, as a person meets it: headless
# sway with swaybar (a StatusNotifierItem host) in a throw-away account (sway
# refuses root), a machine set up against the reference back-end. See
# tray-on-sway-in-account.sh for what is checked.
#
#   tray-on-sway.sh BUILD_DIR [SCREENSHOT_DIR]
# Exit 77 (skipped) when not root or when sway, XWayland or grim is missing.
set -euo pipefail
BUILD=$(realpath "$1")
SHOTS_TO=${2:-}
HERE=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" = 0 ] || { echo "skipped: needs root (creates an account)"; exit 77; }
for tool in sway swaybar swaymsg Xwayland grim busctl dbus-run-session runuser xdotool convert curl; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done

WORK=$(mktemp -d /tmp/quorvane-sway.XXXXXX)
BACKEND_PID=
cleanup() {
  [ -n "$BACKEND_PID" ] && kill "$BACKEND_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

"$BUILD/bin/quorvane-backend" --port 0 --quiet >"$WORK/backend.out" 2>"$WORK/backend.err" &
BACKEND_PID=$!
for _ in $(seq 100); do [ -s "$WORK/backend.out" ] && break; sleep 0.1; done
export QUORVANE_API_BASE_URL=$(head -1 "$WORK/backend.out")
export QUORVANE_WEB_BASE_URL=$QUORVANE_API_BASE_URL
[ -n "$QUORVANE_API_BASE_URL" ] || { echo "FAIL: the back-end did not start"; exit 1; }
# The account writes its screenshots into a folder of its own; they are
# copied to SHOTS (whose files it could not overwrite) at the end.
export SHOTS=
if [ -n "$SHOTS_TO" ]; then SHOTS="$WORK/shots"; mkdir -m 777 "$SHOTS"; chmod 755 "$WORK"; fi
PASS_ENV="QUORVANE_API_BASE_URL QUORVANE_WEB_BASE_URL SHOTS" \
  "$HERE/../support/as-throwaway-account.sh" "$BUILD" "$HERE/tray-on-sway-in-account.sh"
if [ -n "$SHOTS_TO" ]; then mkdir -p "$SHOTS_TO"; cp "$SHOTS"/*.png "$SHOTS_TO/"; fi
