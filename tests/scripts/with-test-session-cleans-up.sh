#!/usr/bin/env bash
# scripts/with-test-session leaves nothing behind: the session folder with its
# keyring and test credentials is gone once the command ends, whether the
# command succeeds or fails, and the command's exit status comes through.
set -uo pipefail
script="$1"
record=$(mktemp)
trap 'rm -f "$record"' EXIT

"$script" bash -c 'dirname "$HOME" > "$0"; test -d "$XDG_RUNTIME_DIR"' "$record"
status=$?
session=$(cat "$record")
[ "$status" -eq 0 ] || { echo "the command failed inside the session ($status)"; exit 1; }
case "$session" in /tmp/quorvane-session.*) ;; *) echo "unexpected session folder: $session"; exit 1 ;; esac
[ ! -e "$session" ] || { echo "left behind: $session"; exit 1; }

"$script" bash -c 'dirname "$HOME" > "$0"; exit 7' "$record"
status=$?
session=$(cat "$record")
[ "$status" -eq 7 ] || { echo "exit status not passed on: $status"; exit 1; }
[ ! -e "$session" ] || { echo "left behind after a failure: $session"; exit 1; }
echo "session folders removed"
