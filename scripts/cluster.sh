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
cmake --build "$BUILD" -j "$JOBS" --target quorlan-server quorlan-testweb quorlan

mkdir -p "$RUN"
write_client_ini "$RUN" "$WEB_PORT"
refuse_busy_ports $FRONT_PORT $WEB_PORT $PG_PORT "${NODE_PORTS[@]}" "${ADMIN_PORTS[@]}"

# PostgreSQL refuses to run as root: as root its programs run as postgres.
PG_BIN=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
as_postgres() { if [[ $(id -u) -eq 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi; }
PG_DIR=$(mktemp -d /tmp/quorlan-cluster-pg-XXXXXX)
if [[ $(id -u) -eq 0 ]]; then chown postgres: "$PG_DIR"; fi
AFTER_STOP+=("as_postgres '$PG_BIN/pg_ctl' -D '$PG_DIR/data' -m fast -w stop >/dev/null 2>&1; rm -rf '$PG_DIR'")

echo "== PostgreSQL on 127.0.0.1:$PG_PORT in $PG_DIR (log: cluster/postgres.log)"
as_postgres "$PG_BIN/initdb" -D "$PG_DIR/data" -U postgres -A trust -E UTF8 --locale=C >"$RUN/postgres.log" 2>&1
as_postgres "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -l "$PG_DIR/server.log" -w \
    -o "-c listen_addresses=127.0.0.1 -p $PG_PORT -k $PG_DIR" start >>"$RUN/postgres.log" 2>&1
as_postgres "$PG_BIN/psql" -h "$PG_DIR" -p "$PG_PORT" -U postgres -q -c "CREATE DATABASE quorlan" postgres \
    >>"$RUN/postgres.log" 2>&1
CONNINFO="host=127.0.0.1 port=$PG_PORT user=postgres dbname=quorlan application_name=quorlan-server"

# Every instance gets the same database, its own node id and its own SQLite
# file (accounts and board lists are kept there until the PostgreSQL store
# takes them over); a server built without cluster mode shares nothing.
cluster_mode=0
if "$BUILD/server/quorlan-server" --help 2>/dev/null | grep -q -- '--postgres'; then cluster_mode=1; fi
if ((!cluster_mode)); then
    echo "This quorlan-server has no --postgres option: each instance uses its own SQLite file." >&2
fi

for i in 0 1 2; do
    node=node$((i + 1))
    args=(--listen "127.0.0.1:${NODE_PORTS[i]}" --admin "127.0.0.1:${ADMIN_PORTS[i]}" --open-signup --min-interval 10
        --db "$RUN/$node.db")
    if ((cluster_mode)); then
        args+=(--postgres "$CONNINFO" --node-id "$node" --takeover-seconds "$TAKEOVER_SECONDS")
    fi
    echo "== instance $node on 127.0.0.1:${NODE_PORTS[i]}, admin ${ADMIN_PORTS[i]} (log: cluster/$node.log)"
    setsid "$BUILD/server/quorlan-server" "${args[@]}" >"$RUN/$node.log" 2>&1 &
    PIDS+=($!)
    wait_port "${NODE_PORTS[i]}" "${PIDS[-1]}" "quorlan-server $node" "$RUN/$node.log"
done

echo "== HAProxy on 127.0.0.1:$FRONT_PORT (config: scripts/cluster/haproxy.cfg, log: cluster/haproxy.log)"
export QUORLAN_FRONT=127.0.0.1:$FRONT_PORT
for i in 0 1 2; do
    export "QUORLAN_NODE$((i + 1))=127.0.0.1:${NODE_PORTS[i]}"
    export "QUORLAN_NODE$((i + 1))_ADMIN_PORT=${ADMIN_PORTS[i]}"
done
setsid haproxy -db -f "$ROOT/scripts/cluster/haproxy.cfg" >"$RUN/haproxy.log" 2>&1 &
PIDS+=($!)
wait_port "$FRONT_PORT" "${PIDS[-1]}" haproxy "$RUN/haproxy.log"

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
