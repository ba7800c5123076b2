#!/bin/bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-test/ and runs every test. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUVA_SANITIZE=ON >/dev/null
cmake --build build-test -j"$(nproc)"

# GUI tests run offscreen, in the C locale and in a zone with daylight-saving
# changes, so local-time rules are exercised on every machine.
export QT_QPA_PLATFORM=offscreen LC_ALL=C LANG=C TZ=Europe/Berlin
cd build-test
ctest --output-on-failure -j"$(nproc)" "$@"
