#!/usr/bin/env bash
# The client's footprint as a user's machine sees it: the coordination server,
# the web fixture and the client under Xvfb; the client connects, the board of
# the fixture is set through the board window, and the main window is hidden.
# Then it prints the proportional set size (PSS) of every process of the client
# (the program and its QtWebEngineProcess children) and their total, and the
# CPU time they use per minute, once with monitoring off (idle) and once with
# monitoring on (the client restarted, Start pressed before hiding).
#
# Usage: bench/footprint.sh [build-dir=build]
# Environment: CLIENT (the client program, default the build's), MEASURE_SECONDS (CPU window,
# default 60), SETTLE_SECONDS (wait
# after hiding, default 15), REPEAT (monitoring period in seconds, default 30).
# Needs ports 3000 and 8080 (the client's built-in server and fixture ports).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${1:-build}
[[ $BUILD == /* ]] || BUILD=$ROOT/$BUILD
MEASURE_SECONDS=${MEASURE_SECONDS:-60}
SETTLE_SECONDS=${SETTLE_SECONDS:-15}
REPEAT=${REPEAT:-30}
CLIENT=${CLIENT:-$BUILD/app/quorlan}
SERVER_PORT=3000
WEB_PORT=8080
BOARD_URL="http://127.0.0.1:$WEB_PORT/bbs/zboard.php?id=share"

for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/deps.sh installs it)" >&2; exit 2; }
done
for program in server/quorlan-server tools/testweb/quorlan-testweb; do
    [[ -x $BUILD/$program ]] || {
        echo "$BUILD/$program is missing: cmake --build $BUILD --target quorlan quorlan-server quorlan-testweb" >&2
        exit 2
    }
done
[[ -x $CLIENT ]] || { echo "$CLIENT is missing: cmake --build $BUILD --target quorlan" >&2; exit 2; }
port_busy() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
for port in $SERVER_PORT $WEB_PORT; do
    if port_busy "$port"; then echo "Port $port is in use (a demo running?)" >&2; exit 1; fi
done

WORK=$(mktemp -d)
PIDS=()
stop_all() {
    local pid
    for pid in "${PIDS[@]}"; do kill -TERM -- "-$pid" 2>/dev/null || true; done
    sleep 1
    for pid in "${PIDS[@]}"; do kill -KILL -- "-$pid" 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap stop_all EXIT

wait_port() {
    local deadline=$((SECONDS + 30))
    until port_busy "$1"; do
        ((SECONDS < deadline)) || { echo "nothing listens on port $1; see $2" >&2; exit 1; }
        sleep 0.2
    done
}

setsid "$BUILD/server/quorlan-server" --listen "127.0.0.1:$SERVER_PORT" --db "$WORK/server.db" --open-signup \
    --min-interval 10 >"$WORK/server.log" 2>&1 &
PIDS+=($!)
wait_port "$SERVER_PORT" "$WORK/server.log"
setsid "$BUILD/tools/testweb/quorlan-testweb" --listen "127.0.0.1:$WEB_PORT" --auto-post 45 \
    >"$WORK/testweb.log" 2>&1 &
PIDS+=($!)
wait_port "$WEB_PORT" "$WORK/testweb.log"

# The process and all its descendants.
tree_of() {
    ps -e -o pid=,ppid= | awk -v root="$1" '
        { parent[$1] = $2 }
        END {
            keep[root] = 1; n = 1
            while (n) { n = 0; for (p in parent) if (!(p in keep) && (parent[p] in keep)) { keep[p] = 1; n = 1 } }
            for (p in keep) printf "%s ", p
        }'
}
pss_kb() { awk '/^Pss:/ { print $2 }' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0; }
# utime + stime in clock ticks (the fields after the parenthesised name).
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | awk '{ print $12 + $13 }' || echo 0; }
label_of() {
    local type
    type=$(tr '\0' '\n' <"/proc/$1/cmdline" 2>/dev/null | sed -n 's/^--type=//p' | head -n 1)
    echo "$(cat "/proc/$1/comm" 2>/dev/null)${type:+ ($type)}"
}

# xdotool on the window of the given title: click at x,y inside it.
click_in() {
    local window
    window=$(DISPLAY=$XDISPLAY xdotool search --onlyvisible --name "^$1\$" | head -n 1)
    [[ -n $window ]] || { echo "no visible window \"$1\"" >&2; return 1; }
    DISPLAY=$XDISPLAY xdotool mousemove --window "$window" "$2" "$3" click 1
}

# run_client MODE: MODE idle or monitoring; prints the figures.
run_client() {
    local mode=$1 dir="$WORK/client-$1"
    mkdir -p "$dir"
    printf '[config]\r\nLeft=0\r\nTop=0\r\nBoardURL=%s\r\nRepeat=%s\r\nSMSID=demo\r\nSMSPASSWORD=demo\r\n' \
        "$BOARD_URL" "$REPEAT" >"$dir/Quorlan.ini"
    XDISPLAY=:$((90 + RANDOM % 500))
    setsid Xvfb "$XDISPLAY" -screen 0 1280x1024x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
    PIDS+=($!)
    sleep 1
    (cd "$dir" && DISPLAY=$XDISPLAY QTWEBENGINE_DISABLE_SANDBOX=1 exec setsid "$CLIENT") \
        >"$dir/client.log" 2>&1 &
    local client=$!
    PIDS+=("$client")
    local deadline=$((SECONDS + 30))
    until DISPLAY=$XDISPLAY xdotool search --onlyvisible --name '^Quorlan \[Ver 0.1\]$' >/dev/null 2>&1; do
        ((SECONDS < deadline)) || { echo "the client's main window did not appear; see $dir/client.log" >&2; exit 1; }
        sleep 0.5
    done
    sleep 3                                           # connected, version exchanged
    click_in 'Quorlan \[Ver 0.1\]' 262 59             # 게시판설정: the board window opens on the board
    sleep 8                                           # the page loads
    click_in 'Quorlan Internet Explorer ' 993 21      # 게시판선택: SetBoard
    sleep 2
    if [[ $mode == monitoring ]]; then
        click_in 'Quorlan \[Ver 0.1\]' 78 271         # 시작
        sleep 1
    fi
    click_in 'Quorlan \[Ver 0.1\]' 230 271            # 작게하기(숨기기)
    sleep "$SETTLE_SECONDS"

    local pids total=0 pid kb after=0
    read -r -a pids <<<"$(tree_of "$client")"
    echo "== $mode: PSS by process"
    for pid in "${pids[@]}"; do
        kb=$(pss_kb "$pid")
        total=$((total + kb))
        printf '  %8d kB  %6d  %s\n' "$kb" "$pid" "$(label_of "$pid")"
    done
    printf '  %8d kB  total (%d MB)\n' "$total" $((total / 1024))
    declare -A start=()
    for pid in "${pids[@]}"; do start[$pid]=$(cpu_ticks "$pid"); done
    sleep "$MEASURE_SECONDS"
    read -r -a pids <<<"$(tree_of "$client")"
    echo "== $mode: CPU by process over $MEASURE_SECONDS s (clock ticks of $(getconf CLK_TCK) per second)"
    for pid in "${pids[@]}"; do
        local used=$(($(cpu_ticks "$pid") - ${start[$pid]:-0}))
        after=$((after + used))
        printf '  %8d       %6d  %s\n' "$used" "$pid" "$(label_of "$pid")"
    done
    awk -v t="$after" -v hz="$(getconf CLK_TCK)" -v s="$MEASURE_SECONDS" -v m="$mode" 'BEGIN {
        cpu = t / hz
        printf "== %s: CPU %.2f s per minute (%.3f %% of one core)\n", m, cpu * 60 / s, cpu * 100 / s
    }'
    kill -TERM -- "-$client" 2>/dev/null || true
    sleep 2
    kill -KILL -- "-$client" 2>/dev/null || true
    kill -TERM -- "-${PIDS[-2]}" 2>/dev/null || true
}

run_client idle
run_client monitoring
