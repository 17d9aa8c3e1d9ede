#!/usr/bin/env bash
# Detection latency against crowd size: 1, 4 and 16 checkers at the same
# interval, each crowd on a board of its own (a loopback host of its own),
# one real server, in one run. The checkers load the page, wait the client's
# 2,000 ms compare delay and report as the client does; posts appear at
# random moments and are timed from creation to the first NewPost.
#
# Usage: bench/crowd.sh [build-dir=build]
# Environment: INTERVAL (every checker's interval, s, default 40), FLOOR
# (--min-interval, s, default 1), SECONDS_POSTING (default 240).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
INTERVAL=${INTERVAL:-40}
FLOOR=${FLOOR:-1}
SECONDS_POSTING=${SECONDS_POSTING:-240}

if [[ ! -f $BUILD/CMakeCache.txt ]]; then
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORLAN_BENCH=ON >/dev/null
fi
cmake --build "$BUILD" --target bench_crowd >/dev/null
echo "About $((SECONDS_POSTING + INTERVAL + 10)) s..."
"$BUILD/bench/bench_crowd" --interval "$INTERVAL" --min-interval "$FLOOR" --seconds "$SECONDS_POSTING" \
    --crowds 1 4 16
