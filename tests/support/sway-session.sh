# Sourced by the tests and scripts that run the real program on Wayland: a
# headless sway (1280x800, one output) with swaybar at the top as the
# StatusNotifierItem host and XWayland, in the caller's session bus. sway
# refuses to run as root, so callers run as an ordinary account. Every wait
# asks sway or the bus, never a fixed sleep.

# Starts sway with its bar; exports WAYLAND_DISPLAY, SWAYSOCK and DISPLAY (the
# XWayland display sway gives its children) and adds sway's pid to SWAY_PIDS.
startSway() {
  : "${XDG_RUNTIME_DIR:?a runtime folder of this account}"
  local config="$XDG_RUNTIME_DIR/sway.config"
  cat >"$config" <<'CONFIG'
xwayland enable
output HEADLESS-1 resolution 1280x800 position 0 0
default_border none
default_floating_border none
focus_follows_mouse no
bar {
  position top
  status_command while :; do echo; sleep 3600; done
  tray_output *
}
CONFIG
  WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$config" \
    >"$XDG_RUNTIME_DIR/sway.log" 2>&1 &
  SWAY_PIDS="${SWAY_PIDS:-} $!"
  for _ in $(seq 200); do
    SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock 2>/dev/null | head -1)
    [ -n "$SWAYSOCK" ] && swaymsg -s "$SWAYSOCK" -t get_version >/dev/null 2>&1 && break
    sleep 0.1
  done
  [ -n "$SWAYSOCK" ] || { echo "sway did not start:"; cat "$XDG_RUNTIME_DIR/sway.log"; return 1; }
  export SWAYSOCK WAYLAND_DISPLAY=wayland-1
  # XWayland's display as sway hands it to the programs it starts (once
  # XWayland is up; until then they get none).
  local reported="$XDG_RUNTIME_DIR/display"
  DISPLAY=
  for _ in $(seq 100); do
    swaymsg exec "echo \$DISPLAY >$reported" >/dev/null
    sleep 0.1
    DISPLAY=$(cat "$reported" 2>/dev/null || true)
    [[ "$DISPLAY" =~ ^:[0-9]+$ ]] && break
  done
  [[ "$DISPLAY" =~ ^:[0-9]+$ ]] || { echo "sway started no XWayland"; return 1; }
  export DISPLAY
  # swaybar's watcher on the bus: the tray is there.
  for _ in $(seq 200); do
    busctl --user status org.kde.StatusNotifierWatcher >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "swaybar's StatusNotifierWatcher did not appear"; return 1
}

# The visible windows of APP_ID (Wayland app_id or X11 class), one per line:
# "x y width height floating border".
swayWindows() {
  swaymsg -t get_tree | python3 -c '
import json, sys
want = sys.argv[1]
def walk(node, floating):
    ident = node.get("app_id") or (node.get("window_properties") or {}).get("class")
    if ident == want and node.get("visible"):
        r = node["rect"]
        print(r["x"], r["y"], r["width"], r["height"], "floating" if floating else "tiled", node.get("border"))
    for child in node.get("nodes", []):
        walk(child, floating)
    for child in node.get("floating_nodes", []):
        walk(child, True)
walk(json.load(sys.stdin), False)' "$1"
}
