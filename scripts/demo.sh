#!/usr/bin/env bash
# Runs the whole system on this machine: installs what is missing, builds, then
# starts the coordination server, the local web fixture (board, SMS gateway,
# patch list) with a new marketplace post every 45 seconds, and the client in
# demo/. Ctrl+C, or closing the client's main window, stops everything this
# script started.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
DEMO=$ROOT/demo
BUILD=${BUILD_DIR:-build}
[[ $BUILD == /* ]] || BUILD=$ROOT/$BUILD
JOBS=${JOBS:-$(nproc)}
AUTO_POST=${AUTO_POST:-45}
SERVER_PORT=3000
WEB_PORT=8080
READY_SECONDS=${READY_SECONDS:-60}
source scripts/run-common.sh

bash scripts/deps.sh

echo "== build (RelWithDebInfo, $BUILD)"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target quorlan-server quorlan-testweb
mkdir -p "$DEMO"
# The client is built for the server's key (see setup_link_tls).
setup_link_tls "$DEMO"
cmake -S . -B "$BUILD" "${CLIENT_TLS_OPTIONS[@]}" >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target quorlan

write_client_ini "$DEMO" "$WEB_PORT"
refuse_busy_ports $SERVER_PORT $WEB_PORT

echo "== coordination server on 127.0.0.1:$SERVER_PORT (log: demo/server.log)"
setsid "$BUILD/server/quorlan-server" --listen "127.0.0.1:$SERVER_PORT" --db "$DEMO/server.db" --open-signup \
    --min-interval 10 "${SERVER_TLS_OPTIONS[@]}" >"$DEMO/server.log" 2>&1 &
PIDS+=($!)
wait_port "$SERVER_PORT" "${PIDS[-1]}" quorlan-server "$DEMO/server.log"

start_testweb "$WEB_PORT" "$AUTO_POST" "$DEMO/testweb.log"
start_client "$DEMO" "$DEMO/client.log"

cat <<EOF

Running. Logs: demo/server.log, demo/testweb.log, demo/client.log
  Board:           http://127.0.0.1:$WEB_PORT/bbs/zboard.php?id=share
  The same posts in other board styles (give the client one of these to watch):
$("$BUILD/tools/testweb/quorlan-testweb" --listen "127.0.0.1:$WEB_PORT" --list-styles)
  Add a post:      curl -d 'title=자전거 직거래 합니다' http://127.0.0.1:$WEB_PORT/admin/post
  Text messages:   curl http://127.0.0.1:$WEB_PORT/admin/sms
Ctrl+C (or closing the client's main window) stops everything.
EOF

# Until the client ends or a signal arrives; the EXIT trap stops the rest.
wait "${PIDS[-1]}" || true
