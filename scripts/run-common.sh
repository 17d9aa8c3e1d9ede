# Shared by scripts/demo.sh and scripts/cluster.sh (sourced, not run): the
# programs they start, how to wait for them, and how Ctrl+C stops them all.
# Expects ROOT, BUILD and READY_SECONDS to be set.

# Each program runs in a process group of its own (setsid), so that stopping
# one also stops what it started (xvfb-run starts Xvfb), and nothing else.
PIDS=()
XVFB_RUN_PID=""
# Commands run after every program has stopped (e.g. stopping PostgreSQL).
AFTER_STOP=()
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
    local command
    for command in "${AFTER_STOP[@]}"; do eval "$command" || true; done
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

refuse_busy_ports() {
    local port
    for port in "$@"; do
        if port_busy "$port"; then
            echo "Port $port is already in use (is another demo or cluster running?). Stop that program first." >&2
            exit 1
        fi
    done
}

# Writes DIR/Quorlan.ini on first use, pointing the client at the local board.
write_client_ini() {
    local dir=$1 web_port=$2
    if [[ ! -e $dir/Quorlan.ini ]]; then
        cat >"$dir/Quorlan.ini" <<INI
[config]
BoardURL=http://127.0.0.1:$web_port/bbs/zboard.php?id=share
Repeat=30
SMSID=demo
SMSPASSWORD=demo
INI
        echo "Wrote ${dir#"$ROOT"/}/Quorlan.ini"
    fi
}

# The web fixture on WEB_PORT, a new post every AUTO_POST seconds.
start_testweb() {
    local web_port=$1 auto_post=$2 log=$3
    echo "== web fixture on 127.0.0.1:$web_port, a new post every ${auto_post}s (log: ${log#"$ROOT"/})"
    setsid "$BUILD/tools/testweb/quorlan-testweb" --listen "127.0.0.1:$web_port" --auto-post "$auto_post" \
        >"$log" 2>&1 &
    PIDS+=($!)
    wait_port "$web_port" "${PIDS[-1]}" quorlan-testweb "$log"
}

# The client in DIR, under xvfb-run when there is no display; last in PIDS.
start_client() {
    local dir=$1 log=$2
    # Chromium refuses its sandbox when run as root.
    if [[ $(id -u) -eq 0 ]]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
    local client=("$BUILD/app/quorlan")
    if [[ -z ${DISPLAY:-} ]]; then
        echo "No display: the client runs under xvfb-run."
        client=(xvfb-run -a -s "-screen 0 1280x1024x24" "${client[@]}")
    fi
    echo "== client in ${dir#"$ROOT"/}/ (log: ${log#"$ROOT"/})"
    (cd "$dir" && exec setsid "${client[@]}" >"$log" 2>&1) &
    PIDS+=($!)
    if [[ -z ${DISPLAY:-} ]]; then XVFB_RUN_PID=$!; fi
}
