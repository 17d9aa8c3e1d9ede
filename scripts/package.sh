#!/usr/bin/env bash
# Builds the Debian packages quorlan (client) and quorlan-server (server and
# quorlan-sign) with CPack into build/packages/. Reuses build/ and configures
# it for the prefix /usr, as Debian packages are laid out.
# Environment: QUORLAN_SERVER_PIN (see below).
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}

# The packaged client always speaks TLS to its server: accepting only the keys
# pinned in QUORLAN_SERVER_PIN (environment, ';'-separated base64 SHA-256 of
# the server's public key), or without pins a certificate the system's
# authorities vouch for, for QUORLAN_SERVER_ADDRESS. Both set here, so that a
# demo's pin or a plain link left in build/ never ships.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DQUORLAN_SERVER_TLS=ON "-DQUORLAN_SERVER_PIN=${QUORLAN_SERVER_PIN-}" >/dev/null
cmake --build build -j "$JOBS" --target quorlan quorlan-server quorlan-sign quorlan_package_files
rm -rf build/packages
cpack --config build/CPackConfig.cmake -G DEB -B build/packages >/dev/null
ls build/packages/*.deb
