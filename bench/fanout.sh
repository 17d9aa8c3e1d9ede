#!/usr/bin/env bash
# Fan-out figures: 10,000 simulated clients on one board against
# quorlan-server, then the same through redis-server pub/sub, on loopback.
# In the same run the join phase of crowds of other sizes (JOIN_CROWDS,
# default "2500 40000"; "" for none), each on a fresh server of both kinds:
# joins per second and the server's processor time per join. A crowd needs an
# open file per client in one process: those beyond the hard limit are named
# and skipped.
# With --cluster, in the same run also against a cluster as scripts/cluster.sh
# runs it: a private PostgreSQL, three instances and HAProxy in front, the
# clients spread over the instances through HAProxy.
# Usage: [CLIENTS=N] [JOIN_CROWDS="N ..."] bench/fanout.sh [--cluster] [build-dir] [extra quorlan-loadgen options]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
CLUSTER=0
if [[ ${1:-} == --cluster ]]; then
    CLUSTER=1
    shift
fi
BUILD=${1:-build}
shift || true
[[ $BUILD == /* ]] || BUILD=$ROOT/$BUILD
CLIENTS=${CLIENTS:-10000}
cmake --build "$BUILD" --target quorlan-server quorlan-loadgen >/dev/null
LOADGEN=("$BUILD/tools/loadgen/quorlan-loadgen" --clients "$CLIENTS" --latency-posts 200 --seconds 10
    --server-bin "$BUILD/server/quorlan-server")
read -ra CROWDS <<<"${JOIN_CROWDS-2500 40000}"
if ((${#CROWDS[@]})); then LOADGEN+=(--join-crowds "${CROWDS[@]}"); fi
if ((!CLUSTER)); then exec "${LOADGEN[@]}" "$@"; fi

READY_SECONDS=${READY_SECONDS:-60}
FRONT_PORT=3200
PG_PORT=55442
NODE_PORTS=(3201 3202 3203)
ADMIN_PORTS=(3211 3212 3213)
source scripts/run-common.sh
refuse_busy_ports $FRONT_PORT $PG_PORT "${NODE_PORTS[@]}" "${ADMIN_PORTS[@]}"

# Every client holds a descriptor in the load generator and two in HAProxy,
# whose connection limit leaves a few for itself.
export QUORLAN_MAXCONN=$((CLIENTS + 50))
FILES=$((2 * QUORLAN_MAXCONN + 50))
ulimit -n "$FILES" 2>/dev/null || ulimit -n "$(ulimit -Hn)"
if (($(ulimit -n) < FILES)); then
    echo "open-file limit $(ulimit -n) is too low for $CLIENTS clients through HAProxy (needs $FILES);" \
        "raise the hard limit, or run fewer: CLIENTS=N $0 --cluster" >&2
    exit 2
fi

RUN=$(mktemp -d /tmp/quorlan-fanout-XXXXXX)
AFTER_STOP+=("rm -rf '$RUN'")
start_postgres "$PG_PORT" "$RUN/postgres.log"
# As the load generator runs its own server (QuorlanFleet::kMinInterval), and
# every connection comes from HAProxy's one address.
for i in 0 1 2; do
    start_instance "node$((i + 1))" "${NODE_PORTS[i]}" "${ADMIN_PORTS[i]}" "$RUN/node$((i + 1)).log" \
        --db "$RUN/node$((i + 1)).db" --min-interval 0.001 --check-timeout 3600 \
        --max-connections $((CLIENTS + 100)) --max-per-address $((CLIENTS + 100)) --log-level warn
done
start_haproxy "$FRONT_PORT" "$RUN/haproxy.log"
"${LOADGEN[@]}" --cluster-port "$FRONT_PORT" "$@"
