#!/usr/bin/env bash
# Detection latency: how long a new post takes from appearing on the board to
# the client's alert, with everything real (server, web fixture, client, a
# second client), and how that time splits into the stages of its road.
#
# Runs the latency benchmark (bench/LatencyBench.cpp) on the full loop's rig
# (tests/e2e): the client brought to monitoring, then N timed rounds. In each round
# the post appears at a random moment of the wait before the client's checking
# turn, so "waiting for the check" spreads over the board's period as it does
# for posts made at any time. The board period is the server's minimum.
#
# Usage: bench/latency.sh [ROUNDS=5] [build-dir=build]
# Environment: PERIOD (board period in seconds, default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
ROUNDS=${1:-5}
BUILD=${2:-build}
PERIOD=${PERIOD:-2}
[[ $ROUNDS =~ ^[1-9][0-9]*$ ]] || { echo "ROUNDS must be a positive number, got \"$ROUNDS\"" >&2; exit 2; }
[[ $PERIOD =~ ^[1-9][0-9]*$ ]] || { echo "PERIOD must be whole seconds, got \"$PERIOD\"" >&2; exit 2; }

if [[ ! -f $BUILD/CMakeCache.txt ]]; then
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" --target bench_latency quorlan-server >/dev/null

LOG=$(mktemp)
trap 'rm -f "$LOG"' EXIT
echo "Running $ROUNDS timed rounds, board period ${PERIOD} s (about $((ROUNDS * (2 * PERIOD + 3) + 30)) s)..."
if ! env QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
    QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox --disable-background-networking" LANG=C.UTF-8 \
    QUORLAN_E2E_ROUNDS="$ROUNDS" QUORLAN_E2E_PERIOD="$PERIOD" \
    "$BUILD/bench/bench_latency" >"$LOG" 2>&1; then
    echo "The latency run failed; its output ends with:" >&2
    tail -n 40 "$LOG" >&2
    exit 1
fi
grep '^\[ e2e \]' "$LOG" || true

# Stage times of each bench round, in ms after the post was created.
ROADS=$(grep '^QUORLAN_E2E_ROAD kind=bench' "$LOG" || true)
COUNT=$(printf '%s\n' "$ROADS" | grep -c . || true)
if ((COUNT == 0)); then
    echo "No timed round was reported." >&2
    exit 1
fi

# field NAME: the value of NAME=... on each line.
field() { printf '%s\n' "$ROADS" | sed -n "s/.* $1=\([0-9.]*\).*/\1/p"; }
# min, median, p90 (nearest rank) and max of the numbers on standard input.
stats() {
    sort -n | awk '{ v[NR] = $1 }
        END {
            n = NR
            median = (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
            i = int(0.9 * n); if (i < 0.9 * n) i++; if (i < 1) i = 1
            printf "%8.0f %8.0f %8.0f %8.0f\n", v[1], median, v[i], v[n]
        }'
}
minus() { paste <(field "$1") <(field "$2") | awk '{ printf "%.1f\n", $1 - $2 }'; }

echo
echo "Post-to-alert latency over $COUNT rounds, board period ${PERIOD} s (ms):"
printf '%-44s %8s %8s %8s %8s\n' "" min median p90 max
printf '%-44s %s\n' "post created -> alert" "$(field alert | stats)"
printf '%-44s %s\n' "  waiting for the check (-> CheckList)" "$(field checklist | stats)"
printf '%-44s %s\n' "  page load (CheckList -> page complete)" "$(minus loaded checklist | stats)"
printf '%-44s %s\n' "  compare delay (page complete -> ListReport)" "$(minus reported loaded | stats)"
printf '%-44s %s\n' "  delivery (ListReport -> alert)" "$(minus alert reported | stats)"
printf '%-44s %s\n' "post created -> second client's NewPost" "$(field peer | stats)"
