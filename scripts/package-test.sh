#!/usr/bin/env bash
# Builds both Debian packages (scripts/package.sh) and checks them: file lists
# and Depends, lintian, the desktop entry and AppStream metadata, the systemd
# unit, --version of every program, and the extracted server started with the
# packaged default config (pointed at a temporary database and free loopback
# ports) answering Version with VersionResult 1.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/package.sh >/dev/null
# The probe and the other programs whose --version is checked.
cmake --build build -j "${JOBS:-$(nproc)}" --target quorlan-loadgen quorlan-testweb >/dev/null
client=$(ls build/packages/quorlan_*.deb)
server=$(ls build/packages/quorlan-server_*.deb)

work=$(mktemp -d)
server_pid=
cleanup() {
    if [[ -n $server_pid ]]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package test: $*" >&2; exit 1; }

# Every file a package must hold (paths as dpkg-deb -c shows them).
expect_files() {
    local deb=$1; shift
    local listing
    listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
    for path in "$@"; do
        grep -qx "$path" <<<"$listing" || fail "$(basename "$deb") lacks $path"
    done
}
expect_files "$client" \
    ./usr/bin/quorlan \
    ./usr/share/applications/quorlan.desktop \
    ./usr/share/icons/hicolor/48x48/apps/quorlan.png \
    ./usr/share/icons/hicolor/128x128/apps/quorlan.png \
    ./usr/share/icons/hicolor/256x256/apps/quorlan.png \
    ./usr/share/icons/hicolor/scalable/apps/quorlan.svg \
    ./usr/share/metainfo/org.quorlan.Quorlan.metainfo.xml \
    ./usr/share/quorlan/alert.wav \
    ./usr/share/man/man1/quorlan.1.gz \
    ./usr/share/doc/quorlan/copyright \
    ./usr/share/doc/quorlan/changelog.Debian.gz
expect_files "$server" \
    ./usr/bin/quorlan-server \
    ./usr/bin/quorlan-sign \
    ./etc/quorlan/server.ini \
    ./usr/lib/systemd/system/quorlan-server.service \
    ./usr/share/man/man1/quorlan-server.1.gz \
    ./usr/share/man/man1/quorlan-sign.1.gz \
    ./usr/share/doc/quorlan-server/copyright \
    ./usr/share/doc/quorlan-server/changelog.Debian.gz
dpkg-deb -c "$client" | grep -q 'usr/bin/quorlan-server' && fail "the client package holds the server"
dpkg-deb -c "$server" | grep -q 'usr/bin/quorlan$' && fail "the server package holds the client"
dpkg-deb -c "$server" | grep -q 'quorlan-loadgen\|quorlan-testweb' && fail "a test tool was packaged"
dpkg-deb --ctrl-tarfile "$server" | tar -tf - | grep -qx './conffiles' || fail "the server package has no conffiles"

# Depends as dpkg-shlibdeps works them out from the programs' libraries.
expect_depends() {
    local deb=$1; shift
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    for lib in "$@"; do
        grep -q "\b$lib\b" <<<"$depends" || fail "$(basename "$deb") does not depend on $lib: $depends"
    done
}
expect_depends "$client" libqt6widgets6 libqt6webenginewidgets6 libqt6network6 libssl3 libsodium23 libc6
expect_depends "$server" libsodium23 libsqlite3-0 libstdc++6 libc6

echo "-- lintian"
lintian --fail-on error "$client" "$server"

root=$work/root
dpkg-deb -x "$client" "$root"
dpkg-deb -x "$server" "$root"
echo "-- desktop entry, metainfo, unit"
desktop-file-validate "$root/usr/share/applications/quorlan.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.quorlan.Quorlan.metainfo.xml"
# The unit as packaged, its program taken from the extracted root.
mkdir "$work/unit"
sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$root/usr/lib/systemd/system/quorlan-server.service" \
    >"$work/unit/quorlan-server.service"
MANPATH=$root/usr/share/man systemd-analyze verify "$work/unit/quorlan-server.service"

echo "-- --version"
for program in "$root/usr/bin/quorlan" "$root/usr/bin/quorlan-server" "$root/usr/bin/quorlan-sign" \
    build/tools/loadgen/quorlan-loadgen build/tools/testweb/quorlan-testweb; do
    name=$(basename "$program")
    line=$("$program" --version)
    [[ $line =~ ^$name\ [0-9][0-9.]*\ \(client\ build\ [0-9]+\)$ ]] || fail "$name --version printed: $line"
done

echo "-- the packaged server with its default config"
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port=$(free_port)
admin_port=$(free_port)
mkdir "$work/state"
sed -e "s|^listen = .*|listen = 127.0.0.1:$port|" \
    -e "s|^db = .*|db = $work/state/quorlan.db|" \
    -e "s|^admin = .*|admin = 127.0.0.1:$admin_port|" \
    "$root/etc/quorlan/server.ini" >"$work/server.ini"
grep -q "^listen = 127.0.0.1:$port$" "$work/server.ini" || fail "the default config has no listen key"
echo "no-such-option = 1" >"$work/bad.ini"
if timeout 10 "$root/usr/bin/quorlan-server" --config "$work/bad.ini" >"$work/bad.log" 2>&1; then
    fail "an unknown config key was accepted"
fi
grep -q "no-such-option" "$work/bad.log" || fail "the error does not name the unknown key: $(cat "$work/bad.log")"
"$root/usr/bin/quorlan-server" --config "$work/server.ini" >"$work/server.log" 2>&1 &
server_pid=$!
answer=
for _ in $(seq 100); do
    if answer=$(build/tools/loadgen/quorlan-loadgen --probe "$port" 2>/dev/null); then break; fi
    kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.log" >&2; fail "the server exited"; }
    sleep 0.1
done
[[ $answer == "VersionResult 1" ]] || { cat "$work/server.log" >&2; fail "probe got: ${answer:-nothing}"; }
[[ -f $work/state/quorlan.db ]] || fail "the database is not where the config puts it"
curl -fsS "http://127.0.0.1:$admin_port/health" >/dev/null || fail "no admin endpoint on 127.0.0.1:$admin_port"
echo "Packages passed: $(basename "$client") $(basename "$server")"
