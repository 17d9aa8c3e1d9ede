#!/usr/bin/env bash
# Fan-out figures: 10,000 simulated clients on one board against
# quorlan-server, then the same through redis-server pub/sub, on loopback.
# Usage: bench/fanout.sh [build-dir] [extra quorlan-loadgen options]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
shift || true
cmake --build "$BUILD" --target quorlan-server quorlan-loadgen >/dev/null
exec "$BUILD/tools/loadgen/quorlan-loadgen" --clients 10000 --latency-posts 200 --seconds 10 \
    --server-bin "$BUILD/server/quorlan-server" "$@"
