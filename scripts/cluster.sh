#!/usr/bin/env bash
# Runs the coordination server as a cluster on this machine: a private
# PostgreSQL in a temporary directory (run as the postgres user), three
# quorlan-server instances, HAProxy on 127.0.0.1:3000 in front of them (the
# one address clients know), the web fixture and the client in cluster/.
# Ctrl+C, or closing the client's main window, stops everything this script
# started and removes the PostgreSQL directory.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
RUN=$ROOT/cluster
BUILD=${BUILD_DIR:-build}
[[ $BUILD == /* ]] || BUILD=$ROOT/$BUILD
JOBS=${JOBS:-$(nproc)}
AUTO_POST=${AUTO_POST:-45}
FRONT_PORT=3000
WEB_PORT=8080
PG_PORT=${PG_PORT:-55432}
TAKEOVER_SECONDS=${TAKEOVER_SECONDS:-10}
NODE_PORTS=(3101 3102 3103)
ADMIN_PORTS=(3111 3112 3113)
READY_SECONDS=${READY_SECONDS:-60}
source scripts/run-common.sh

bash scripts/deps.sh

echo "== build (RelWithDebInfo, $BUILD)"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target quorlan-server quorlan-testweb
mkdir -p "$RUN"
# The client is built for the server's key (see setup_link_tls).
setup_link_tls "$RUN"
cmake -S . -B "$BUILD" "${CLIENT_TLS_OPTIONS[@]}" >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target quorlan

write_client_ini "$RUN" "$WEB_PORT"
refuse_busy_ports $FRONT_PORT $WEB_PORT $PG_PORT "${NODE_PORTS[@]}" "${ADMIN_PORTS[@]}"

start_postgres "$PG_PORT" "$RUN/postgres.log"
# Every instance gets the same database and its own node id; its own --db
# file (and the admin token beside it) for what it keeps locally; and the one
# TLS key, which HAProxy passes through without reading.
for i in 0 1 2; do
    node=node$((i + 1))
    start_instance "$node" "${NODE_PORTS[i]}" "${ADMIN_PORTS[i]}" "$RUN/$node.log" --db "$RUN/$node.db" \
        --takeover-seconds "$TAKEOVER_SECONDS" --open-signup --min-interval 10 "${SERVER_TLS_OPTIONS[@]}"
done
start_haproxy "$FRONT_PORT" "$RUN/haproxy.log"

start_testweb "$WEB_PORT" "$AUTO_POST" "$RUN/testweb.log"
start_client "$RUN" "$RUN/client.log"

cat <<EOF

Running. Logs in cluster/: node1.log node2.log node3.log haproxy.log postgres.log testweb.log client.log
  Clients connect to: 127.0.0.1:$FRONT_PORT (HAProxy; instances on ${NODE_PORTS[*]})
  Instance health:    curl http://127.0.0.1:${ADMIN_PORTS[0]}/health   (and ${ADMIN_PORTS[1]}, ${ADMIN_PORTS[2]})
  Database:           psql "$CONNINFO"
  Board:              http://127.0.0.1:$WEB_PORT/bbs/zboard.php?id=share
  Add a post:         curl -d 'title=자전거 직거래 합니다' http://127.0.0.1:$WEB_PORT/admin/post
Ctrl+C (or closing the client's main window) stops everything.
EOF

# Until the client ends or a signal arrives; the EXIT trap stops the rest.
wait "${PIDS[-1]}" || true
