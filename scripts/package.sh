#!/bin/bash
# Builds the Debian package quva-explorer_<version>_<arch>.deb: a Release build of
# the three programs with Debian's hardening flags in BUILD_DIR (default
# build-package/), then CPack's DEB generator. Prints the package's path last.
# Further arguments go to cmake, e.g. -DQUVA_PACKAGE_MAINTAINER="Name <address>".
# Usage: scripts/package.sh [BUILD_DIR [CMAKE_ARGUMENTS...]]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
buildDir=$(realpath -m "${1:-build-package}")
shift || true

./scripts/install-deps.sh

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
cmake --build "$buildDir" -j"$(nproc)" --target quva-explorer quva-recorder quva-sim package-files

cd "$buildDir"
rm -f quva-explorer_*.deb
cpack -G DEB >/dev/null
package=$(ls "$buildDir"/quva-explorer_*.deb)
echo "$package"
