#!/bin/bash
# Builds the Debian package quva-explorer_<version>_<arch>.deb: a Release build of
# the three programs with Debian's hardening flags in BUILD_DIR (default
# build-package/), then CPack's DEB generator. Prints the package's path last.
# Further arguments go to cmake, e.g. -DQUVA_PACKAGE_MAINTAINER="Name <address>".
# -j N builds with N jobs (default: every processor).
# Usage: scripts/package.sh [-j N] [BUILD_DIR [CMAKE_ARGUMENTS...]]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
if [[ "${1:-}" == -j* ]]; then
    jobs=${1#-j}
    shift
    if [[ -z "$jobs" ]]; then
        jobs=${1:-}
        shift || true
    fi
    [[ "$jobs" =~ ^[1-9][0-9]*$ ]] || {
        echo "package.sh: -j takes a number of jobs, such as -j 2" >&2
        exit 2
    }
fi
buildDir=$(realpath -m "${1:-build-package}")
shift || true

# What the package build needs, and no more (the tests' tools come from install-deps.sh).
packages=(
    cmake g++ ninja-build pkg-config
    qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5svg5-dev
    libboost-dev libxlsxwriter-dev libmodbus-dev libmosquitto-dev
    help2man dpkg-dev
)
missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
if ((${#missing[@]} > 0)); then
    echo "Installing missing packages: ${missing[*]}" >&2
    sudo=
    ((EUID == 0)) || sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$buildDir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUVA_BUILD_TESTS=OFF \
    "${launcher[@]}" "$@" \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$buildDir" -j"$jobs" --target quva-explorer quva-recorder quva-sim package-files

cd "$buildDir"
rm -f quva-explorer_*.deb
cpack -G DEB >/dev/null
package=$(ls "$buildDir"/quva-explorer_*.deb)
echo "$package"
