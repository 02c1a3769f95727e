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
SHOTS=${2:-}
HERE=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" = 0 ] || { echo "skipped: needs root (creates an account)"; exit 77; }
for tool in sway swaybar swaymsg Xwayland grim busctl dbus-run-session runuser xdotool convert curl; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done

# XWayland's sockets live in /tmp/.X11-unix, which must be root's and
# sticky; made by the throw-away account it would outlive the account.
mkdir -p /tmp/.X11-unix
chown root:root /tmp/.X11-unix
chmod 1777 /tmp/.X11-unix

WORK=$(mktemp -d /tmp/quorvane-sway.XXXXXX)
chmod 755 "$WORK"
ACCOUNT="qvsway$$"
BACKEND_PID=
cleanup() {
  for _ in $(seq 50); do pkill -KILL -u "$ACCOUNT" 2>/dev/null || break; sleep 0.1; done
  [ -n "$BACKEND_PID" ] && kill "$BACKEND_PID" 2>/dev/null || true
  id "$ACCOUNT" >/dev/null 2>&1 && userdel -r "$ACCOUNT" >/dev/null 2>&1 || true
  rm -rf "$WORK"
}
trap cleanup EXIT

"$BUILD/bin/quorvane-backend" --port 0 --quiet >"$WORK/backend.out" 2>"$WORK/backend.err" &
BACKEND_PID=$!
for _ in $(seq 100); do [ -s "$WORK/backend.out" ] && break; sleep 0.1; done
BACKEND_URL=$(head -1 "$WORK/backend.out")
[ -n "$BACKEND_URL" ] || { echo "FAIL: the back-end did not start"; exit 1; }

useradd --create-home --shell /bin/bash "$ACCOUNT"
HOME_DIR=$(getent passwd "$ACCOUNT" | cut -d: -f6)
runuser -u "$ACCOUNT" -- test -x "$BUILD/bin/quorvane-app" \
  || { echo "skipped: the build tree is not readable by another account"; exit 77; }
install -m 0755 "$HERE/tray-on-sway-in-account.sh" "$WORK/"
install -m 0644 "$HERE/../support/sway-session.sh" "$HERE/../support/wayland-click.py" "$WORK/"
if [ -n "$SHOTS" ]; then mkdir -p "$SHOTS"; chmod 777 "$SHOTS"; fi
runuser -u "$ACCOUNT" -- env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$HOME_DIR" USER="$ACCOUNT" LANG=C.UTF-8 \
  QUORVANE_API_BASE_URL="$BACKEND_URL" QUORVANE_WEB_BASE_URL="$BACKEND_URL" SHOTS="$SHOTS" \
  timeout 240 dbus-run-session -- "$WORK/tray-on-sway-in-account.sh" "$BUILD"
