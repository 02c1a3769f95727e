#!/usr/bin/env bash
# Runs as the throw-away account: its own D-Bus session with an unlocked
# keyring and a virtual display (xdg-open hands links on only where there is
# a display), the installed companion, then a quorvane: link through xdg-open.
set -euo pipefail
export XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

dbus-run-session -- bash -c '
set -euo pipefail
printf account-password | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
DISPLAY_NUMBER=$(( 90 + RANDOM % 400 ))
Xvfb ":$DISPLAY_NUMBER" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
export DISPLAY=":$DISPLAY_NUMBER" QT_QPA_PLATFORM=offscreen
for _ in $(seq 50); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true" && break
  sleep 0.1
done

LOG=$(mktemp)
QUORVANE_REPORT_PENDING=1 /usr/bin/quorvane-app >"$LOG" 2>&1 &
APP=$!
waitFor() {
  for _ in $(seq 300); do grep -q "$1" "$LOG" && return 0; kill -0 $APP 2>/dev/null || break; sleep 0.1; done
  echo "did not see \"$1\"; the companion wrote:"; cat "$LOG"; return 1
}
# Ready once it listens for other instances (the hand-over of opened links).
for _ in $(seq 300); do [ -S "$XDG_RUNTIME_DIR/quorvane/app.socket" ] && break; sleep 0.1; done
[ -S "$XDG_RUNTIME_DIR/quorvane/app.socket" ] || { echo "the companion did not start:"; cat "$LOG"; exit 1; }

# The browser would follow the sign-in page to our scheme; take its address
# from the back-end and open it the way the browser does.
CALLBACK=$(curl -s -o /dev/null -w "%{redirect_url}" "$QUORVANE_API_BASE_URL/auth/login?platform=macos&login_hint=package@example.com")
case "$CALLBACK" in quorvane://auth/callback\?code=*) ;; *) echo "no callback from the back-end: $CALLBACK"; exit 1 ;; esac
[ "$(xdg-mime query default x-scheme-handler/quorvane)" = quorvane.desktop ] \
  || { echo "quorvane: links are not handed to quorvane.desktop"; exit 1; }
xdg-open "$CALLBACK"
waitFor "wizard screen 2"
echo "the sign-in link reached the running companion"

kill -TERM $APP
wait $APP
'
