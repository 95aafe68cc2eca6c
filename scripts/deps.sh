#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Only what is missing is installed; through sudo when not root.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build pkg-config ccache
    libsimdjson-dev libgtest-dev googletest zlib1g-dev libzstd-dev zstd
    libyaml-cpp-dev libre2-dev
    qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
    qt6-webchannel-dev
    libqt6webenginecore6-bin libgl1-mesa-dev qt6-qpa-plugins
    fonts-dejavu-core
    clang-14 libclang-rt-14-dev
    xvfb xauth
    libcurl4-openssl-dev clickhouse-server clickhouse-client curl
    scdoc desktop-file-utils appstream file dpkg-dev lintian
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
