#!/usr/bin/env bash
# Runs a script as a throw-away account (made here, removed with all its
# processes at the end), inside a session bus of its own: for what refuses
# to run as root, such as sway. The script is copied with the support
# scripts beside it; variables named in PASS_ENV are handed over.
#
#   as-throwaway-account.sh BUILD_DIR SCRIPT [ARGS...]
# Exit 77 (skipped) when not root or when the build tree is not readable by
# another account.
set -euo pipefail
BUILD=$(realpath "$1")
SCRIPT=$(realpath "$2")
shift 2
SUPPORT=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" = 0 ] || { echo "skipped: needs root (creates an account)"; exit 77; }

# XWayland's sockets live in /tmp/.X11-unix, which must be root's and
# sticky; made by the throw-away account it would outlive the account.
mkdir -p /tmp/.X11-unix
chown root:root /tmp/.X11-unix
chmod 1777 /tmp/.X11-unix

WORK=$(mktemp -d /tmp/quorvane-account.XXXXXX)
chmod 755 "$WORK"
ACCOUNT="qvacct$$"
cleanup() {
  for _ in $(seq 50); do pkill -KILL -u "$ACCOUNT" 2>/dev/null || break; sleep 0.1; done
  id "$ACCOUNT" >/dev/null 2>&1 && userdel -r "$ACCOUNT" >/dev/null 2>&1 || true
  rm -rf "$WORK"
}
trap cleanup EXIT

useradd --create-home --shell /bin/bash "$ACCOUNT"
HOME_DIR=$(getent passwd "$ACCOUNT" | cut -d: -f6)
runuser -u "$ACCOUNT" -- test -x "$BUILD/bin/quorvane-app" \
  || { echo "skipped: the build tree is not readable by another account"; exit 77; }
install -m 0755 "$SCRIPT" "$WORK/"
install -m 0644 "$SUPPORT/sway-session.sh" "$SUPPORT/wayland-input.py" "$WORK/"
HANDED=()
for name in ${PASS_ENV:-}; do HANDED+=("$name=${!name:-}"); done
runuser -u "$ACCOUNT" -- env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$HOME_DIR" USER="$ACCOUNT" LANG=C.UTF-8 \
  "${HANDED[@]}" timeout "${ACCOUNT_TIMEOUT:-240}" dbus-run-session -- "$WORK/$(basename "$SCRIPT")" "$BUILD" "$@"
