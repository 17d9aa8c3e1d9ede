# Shared by scripts/demo.sh, scripts/cluster.sh and bench/fanout.sh (sourced,
# not run): the programs they start, how to wait for them, and how Ctrl+C
# stops them all.
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

# TLS on the client link. DIR/server.key and DIR/server.crt (a P-256 key and a
# self-signed certificate for 127.0.0.1, mode 0600) are made on first use and
# kept; the client is built with the key's pin, and the server gets both
# files. A quorlan-server without --tls-cert runs the link in clear, and this
# says so. Sets CLIENT_TLS_OPTIONS (for cmake) and SERVER_TLS_OPTIONS (for
# quorlan-server); expects the server built.
setup_link_tls() {
    local dir=$1
    CLIENT_TLS_OPTIONS=(-DQUORLAN_SERVER_TLS=OFF -DQUORLAN_SERVER_PIN=)
    SERVER_TLS_OPTIONS=()
    local help
    help=$("$BUILD/server/quorlan-server" --help 2>/dev/null || true)
    if [[ $help != *--tls-cert* ]]; then
        echo "NOTE: this quorlan-server has no --tls-cert: the client link runs in clear (TCP)."
        return
    fi
    if [[ ! -e $dir/server.key || ! -e $dir/server.crt ]]; then
        (umask 077 && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 3650 \
            -subj "/CN=Quorlan local server" -addext "subjectAltName=IP:127.0.0.1" \
            -keyout "$dir/server.key" -out "$dir/server.crt" 2>/dev/null)
        echo "Made a TLS key and certificate: ${dir#"$ROOT"/}/server.key, ${dir#"$ROOT"/}/server.crt"
    fi
    chmod 600 "$dir/server.key" "$dir/server.crt"
    local pin
    pin=$(openssl pkey -in "$dir/server.key" -pubout -outform DER | openssl dgst -sha256 -binary | base64)
    echo "== TLS on the client link; the client pins the key $pin"
    CLIENT_TLS_OPTIONS=(-DQUORLAN_SERVER_TLS=ON "-DQUORLAN_SERVER_PIN=$pin")
    SERVER_TLS_OPTIONS=(--tls-cert "$dir/server.crt" --tls-key "$dir/server.key")
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

# Cluster pieces, shared by scripts/cluster.sh and bench/fanout.sh --cluster.

# PostgreSQL refuses to run as root: as root its programs run as postgres.
as_postgres() { if [[ $(id -u) -eq 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi; }

# A private PostgreSQL on 127.0.0.1:PORT in a temporary directory with an
# empty database "quorlan"; stopped and removed after everything else. Sets
# CONNINFO, the connection string every instance gets.
start_postgres() {
    local port=$1 log=$2
    local bin dir
    bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
    dir=$(mktemp -d /tmp/quorlan-cluster-pg-XXXXXX)
    if [[ $(id -u) -eq 0 ]]; then chown postgres: "$dir"; fi
    AFTER_STOP+=("as_postgres '$bin/pg_ctl' -D '$dir/data' -m fast -w stop >/dev/null 2>&1; rm -rf '$dir'")
    echo "== PostgreSQL on 127.0.0.1:$port in $dir (log: ${log#"$ROOT"/})"
    as_postgres "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C >"$log" 2>&1
    as_postgres "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
        -o "-c listen_addresses=127.0.0.1 -p $port -k $dir" start >>"$log" 2>&1
    as_postgres "$bin/psql" -h "$dir" -p "$port" -U postgres -q -c "CREATE DATABASE quorlan" postgres >>"$log" 2>&1
    CONNINFO="host=127.0.0.1 port=$port user=postgres dbname=quorlan application_name=quorlan-server"
}

# Waits until the admin endpoint on ADMIN_PORT answers /health with 200
# (database link up); gives up like wait_port.
wait_healthy() {
    local admin_port=$1 pid=$2 name=$3 log=$4
    local deadline=$((SECONDS + READY_SECONDS))
    until curl -sf -o /dev/null "http://127.0.0.1:$admin_port/health"; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "$name ended before it was healthy; end of $log:" >&2
            tail -n 20 "$log" >&2 || true
            exit 1
        fi
        if ((SECONDS >= deadline)); then
            echo "$name is not healthy after ${READY_SECONDS}s: $(curl -s "http://127.0.0.1:$admin_port/health"); see $log" >&2
            exit 1
        fi
        sleep 0.2
    done
}

# Instance NODE of the cluster on CONNINFO, clients on 127.0.0.1:PORT, admin
# endpoint on ADMIN_PORT, further quorlan-server options after LOG; returns
# once it is healthy.
start_instance() {
    local node=$1 port=$2 admin_port=$3 log=$4
    shift 4
    echo "== instance $node on 127.0.0.1:$port, admin $admin_port (log: ${log#"$ROOT"/})"
    setsid "$BUILD/server/quorlan-server" --listen "127.0.0.1:$port" --admin "127.0.0.1:$admin_port" \
        --postgres "$CONNINFO" --node-id "$node" "$@" >"$log" 2>&1 &
    PIDS+=($!)
    wait_healthy "$admin_port" "${PIDS[-1]}" "quorlan-server $node" "$log"
}

# HAProxy on 127.0.0.1:FRONT_PORT (scripts/cluster/haproxy.cfg) in front of
# the three instances whose client and admin ports are in the arrays
# NODE_PORTS and ADMIN_PORTS.
start_haproxy() {
    local front_port=$1 log=$2
    echo "== HAProxy on 127.0.0.1:$front_port (config: scripts/cluster/haproxy.cfg, log: ${log#"$ROOT"/})"
    export QUORLAN_FRONT=127.0.0.1:$front_port
    local i
    for i in 0 1 2; do
        export "QUORLAN_NODE$((i + 1))=127.0.0.1:${NODE_PORTS[i]}"
        export "QUORLAN_NODE$((i + 1))_ADMIN_PORT=${ADMIN_PORTS[i]}"
    done
    setsid haproxy -db -f "$ROOT/scripts/cluster/haproxy.cfg" >"$log" 2>&1 &
    PIDS+=($!)
    wait_port "$front_port" "${PIDS[-1]}" haproxy "$log"
}
