# Sourced by measure-idle and measure-popover: runOnDesktop WAYLAND BUILD_DIR
# SCRIPT ARGS... runs a measuring Python script on a desktop of its own:
# Xvfb with trayer (X11, XEmbed tray) in a private session with a keyring, or
# (WAYLAND=1, as root) headless sway with swaybar in a throw-away account.
runOnDesktop() {
  local wayland=$1 build=$2 script=$3 root
  shift 3
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  if [ "$wayland" -eq 1 ]; then
    echo "on headless sway with swaybar (Wayland; the companion on XWayland with its StatusNotifierItem)"
    ACCOUNT_TIMEOUT=${ACCOUNT_TIMEOUT:-900} "$root/tests/support/as-throwaway-account.sh" "$build" \
      "$root/scripts/lib/measure-in-sway.sh" "$script" "$@"
    return
  fi
  echo "on Xvfb with trayer (X11, XEmbed tray)"
  # shellcheck disable=SC2016
  "$root/scripts/with-test-session" bash -c '
    . "$1/tests/support/desktop-session.sh"
    startDisplay
    pids="$DESKTOP_PIDS"
    startTray
    pids="$pids ${DESKTOP_PIDS##* }"
    trap "kill $pids 2>/dev/null" EXIT
    shift
    python3 "$@"' bash "$root" "$script" "$build" "$@"
}
