# Sourced by the demo: makeDemoHome BUILD_DIR BACKEND_URL HOME_DIR sets up an
# isolated home (a machine registered with the back-end, one agent) and
# exports what the companion needs to use it.
makeDemoHome() {
  local build=$1 backend=$2 machine
  export QUORVANE_HOME=$3 QUORVANE_CREDENTIAL_STORE=file QUORVANE_PRESENCE=grant
  export QUORVANE_API_BASE_URL="$backend" QUORVANE_WEB_BASE_URL="$backend"
  mkdir -p "$QUORVANE_HOME/.quorvane/agents/demo-agent"
  machine=$("$build/bin/quorvane-demo-provision" "$backend" person@example.com)
  cat >"$QUORVANE_HOME/.quorvane/agents/demo-agent/config.json" <<JSON
{"name":"demo-agent","machine":"$(hostname)","machineId":"$machine","publicKey":"demo","agentId":"agent-demo",
 "status":"active","createdAt":"$(date -u +%Y-%m-%dT%H:%M:%SZ)","apiUrl":"$backend","scope":"global"}
JSON
  echo "demo: machine $machine registered; demo home $QUORVANE_HOME"
}
