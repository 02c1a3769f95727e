#!/usr/bin/env bash
# scripts/measure-idle and measure-popover with --wayland, inside the throw-away
# account: headless sway with swaybar, an unlocked keyring on the account's
# session bus, then the measuring script.
#   measure-in-sway.sh BUILD_DIR MEASURING_SCRIPT ARGS...
set -euo pipefail
BUILD=$1 SCRIPT=$2
shift 2
export XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
. "$(dirname "$0")/sway-session.sh"
printf measure | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
KEYRING=$!
trap 'kill $KEYRING $SWAY_PIDS 2>/dev/null; wait 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR"' EXIT
startSway || { echo "measure: the Wayland desktop did not start"; exit 1; }
python3 "$SCRIPT" "$BUILD" "$@"
