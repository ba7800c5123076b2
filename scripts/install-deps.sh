#!/bin/bash
# Installs the Debian packages that building, running and testing need.
# Quick and silent when everything is present; apt-get update runs only when
# something has to be installed.
set -euo pipefail

packages=(
    cmake g++ ninja-build pkg-config
    qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5svg5 libqt5svg5-dev
    libboost-dev libxlsxwriter-dev libmodbus-dev libmosquitto-dev
    xvfb xauth imagemagick x11-utils fonts-dejavu-core tzdata
    python3 python3-openpyxl mbpoll mosquitto mosquitto-clients openssl
    clang-14 libclang-rt-14-dev
    # The Modbus TCP server of the link's cross-check; pymodbus's server imports pyserial
    # and its asyncio extension, which its package does not depend on.
    python3-pymodbus python3-serial python3-serial-asyncio
    help2man dpkg-dev lintian desktop-file-utils appstream
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    if [[ "$status" != "install ok installed" ]]; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if ((EUID != 0)); then
    sudo=sudo
else
    sudo=
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
