#!/usr/bin/env bash
# scripts/demo --wayland, inside the throw-away account: headless sway with
# swaybar, a demo home registered with the demo back-end ($BACKEND), the
# companion as the desktop starts it, and screenshots into $SHOTS once the
# first demo escalation has opened the popover.
set -euo pipefail
BUILD=$1  # and $2: the project root
export XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
. "$(dirname "$0")/sway-session.sh"
APP=
trap 'kill $APP $SWAY_PIDS 2>/dev/null; wait 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR"' EXIT
startSway || { echo "demo: the Wayland desktop did not start"; exit 1; }

. "$2/scripts/lib/demo-home.sh"
makeDemoHome "$BUILD" "$BACKEND" "$HOME/demo-home"
"$BUILD/bin/quorvane-app" --report-ready >"$XDG_RUNTIME_DIR/app.out" 2>&1 &
APP=$!
for _ in $(seq 100); do grep -q 'tray icon shown' "$XDG_RUNTIME_DIR/app.out" && break; sleep 0.1; done
sleep 2
grim "$SHOTS/sway-tray.png"
# The first demo escalation arrives after about 3 s and opens the popover.
for _ in $(seq 150); do grep -q 'popover shown' "$XDG_RUNTIME_DIR/app.out" && break; sleep 0.1; done
sleep 1
grim "$SHOTS/sway-popover.png"
