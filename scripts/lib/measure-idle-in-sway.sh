#!/usr/bin/env bash
# scripts/measure-idle --wayland, inside the throw-away account: headless sway
# with swaybar, an unlocked keyring on the account's session bus, then the
# measurements.  measure-idle-in-sway.sh BUILD_DIR ROOT RUNS IDLE_SECONDS
set -euo pipefail
BUILD=$1 ROOT=$2
export XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
. "$(dirname "$0")/sway-session.sh"
printf measure | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
KEYRING=$!
trap 'kill $KEYRING $SWAY_PIDS 2>/dev/null; wait 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR"' EXIT
startSway || { echo "measure-idle: the Wayland desktop did not start"; exit 1; }
python3 "$ROOT/scripts/lib/measure_idle.py" "$BUILD" "$3" "$4"
