#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, skipping
# what is already there. Safe to run again.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools qt6-webengine-dev libqt6webenginewidgets6 libgl-dev qt6-multimedia-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libsodium-dev libsqlite3-dev libasio-dev libcli11-dev libspdlog-dev libcpp-httplib-dev
    fonts-nanum xvfb xauth xdotool imagemagick redis-server curl
    nlohmann-json3-dev libgumbo-dev
    help2man lintian desktop-file-utils appstream systemd librsvg2-bin sox
    postgresql libpq-dev haproxy
    libssl-dev openssl
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    SUDO=""
    if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
