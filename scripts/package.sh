#!/usr/bin/env bash
# Builds the Debian packages quorlan (client) and quorlan-server (server and
# quorlan-sign) with CPack into build/packages/. Reuses build/ and configures
# it for the prefix /usr, as Debian packages are laid out.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build -j "$JOBS" --target quorlan quorlan-server quorlan-sign quorlan_package_files
rm -rf build/packages
cpack --config build/CPackConfig.cmake -G DEB -B build/packages >/dev/null
ls build/packages/*.deb
