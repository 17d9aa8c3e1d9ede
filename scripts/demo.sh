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

bash scripts/deps.sh

echo "== build (RelWithDebInfo, $BUILD)"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target quorlan-server quorlan-testweb quorlan

mkdir -p "$DEMO"
if [[ ! -e $DEMO/Quorlan.ini ]]; then
    cat >"$DEMO/Quorlan.ini" <<EOF
[config]
BoardURL=http://127.0.0.1:$WEB_PORT/bbs/zboard.php?id=share
Repeat=30
SMSID=demo
SMSPASSWORD=demo
EOF
    echo "Wrote demo/Quorlan.ini"
fi

# Each program runs in a process group of its own (setsid), so that stopping
# one also stops what it started (xvfb-run starts Xvfb), and nothing else.
PIDS=()
XVFB_RUN_PID=""
stop_all() {
    trap - INT TERM EXIT
    if ((${#PIDS[@]})); then
        echo
        echo "== stopping"
        local pid
        # Under xvfb-run only the client is stopped first: xvfb-run then stops
        # its Xvfb and removes its temporary files itself.
        if [[ -n $XVFB_RUN_PID ]]; then pkill -TERM -P "$XVFB_RUN_PID" -x quorlan 2>/dev/null || true; fi
        for _ in $(seq 30); do
            [[ -n $XVFB_RUN_PID ]] && kill -0 "$XVFB_RUN_PID" 2>/dev/null || break
            sleep 0.1
        done
        for pid in "${PIDS[@]}"; do kill -TERM -- "-$pid" 2>/dev/null || true; done
        for _ in $(seq 50); do
            local alive=0
            for pid in "${PIDS[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
            ((alive)) || break
            sleep 0.1
        done
        for pid in "${PIDS[@]}"; do kill -KILL -- "-$pid" 2>/dev/null || true; done
    fi
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

port_busy() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# Waits until something accepts on the port; gives up when the program that
# should listen there has ended or after READY_SECONDS.
wait_port() {
    local port=$1 pid=$2 name=$3 log=$4
    local deadline=$((SECONDS + READY_SECONDS))
    until port_busy "$port"; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "$name ended before listening on port $port; end of $log:" >&2
            tail -n 20 "$log" >&2 || true
            exit 1
        fi
        if ((SECONDS >= deadline)); then
            echo "$name is not listening on port $port after ${READY_SECONDS}s; see $log" >&2
            exit 1
        fi
        sleep 0.2
    done
}

for port in $SERVER_PORT $WEB_PORT; do
    if port_busy "$port"; then
        echo "Port $port is already in use (is another demo running?). Stop that program first." >&2
        exit 1
    fi
done

echo "== coordination server on 127.0.0.1:$SERVER_PORT (log: demo/server.log)"
setsid "$BUILD/server/quorlan-server" --listen "127.0.0.1:$SERVER_PORT" --db "$DEMO/server.db" --open-signup \
    --min-interval 10 >"$DEMO/server.log" 2>&1 &
PIDS+=($!)
wait_port "$SERVER_PORT" "${PIDS[-1]}" quorlan-server "$DEMO/server.log"

echo "== web fixture on 127.0.0.1:$WEB_PORT, a new post every ${AUTO_POST}s (log: demo/testweb.log)"
setsid "$BUILD/tools/testweb/quorlan-testweb" --listen "127.0.0.1:$WEB_PORT" --auto-post "$AUTO_POST" \
    >"$DEMO/testweb.log" 2>&1 &
PIDS+=($!)
wait_port "$WEB_PORT" "${PIDS[-1]}" quorlan-testweb "$DEMO/testweb.log"

# Chromium refuses its sandbox when run as root.
if [[ $(id -u) -eq 0 ]]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
CLIENT=("$BUILD/app/quorlan")
if [[ -z ${DISPLAY:-} ]]; then
    echo "No display: the client runs under xvfb-run."
    CLIENT=(xvfb-run -a -s "-screen 0 1280x1024x24" "${CLIENT[@]}")
fi
echo "== client in demo/ (log: demo/client.log)"
(cd "$DEMO" && exec setsid "${CLIENT[@]}" >"$DEMO/client.log" 2>&1) &
PIDS+=($!)
if [[ -z ${DISPLAY:-} ]]; then XVFB_RUN_PID=$!; fi

cat <<EOF

Running. Logs: demo/server.log, demo/testweb.log, demo/client.log
  Board:           http://127.0.0.1:$WEB_PORT/bbs/zboard.php?id=share
  Add a post:      curl -d 'title=자전거 직거래 합니다' http://127.0.0.1:$WEB_PORT/admin/post
  Text messages:   curl http://127.0.0.1:$WEB_PORT/admin/sms
Ctrl+C (or closing the client's main window) stops everything.
EOF

# Until the client ends or a signal arrives; the EXIT trap stops the rest.
wait "${PIDS[-1]}" || true
