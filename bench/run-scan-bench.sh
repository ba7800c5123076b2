#!/bin/bash
# Builds a Release configuration in build-scan-bench/ and times "Find sensor"'s search of
# all 247 addresses against quva-sim on a pseudo-terminal. Arguments go to bench_scan
# (--runs N, --baud RATE).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-scan-bench"

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUVA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_scan quva-sim -j2

LC_ALL=C "$build/bin/bench_scan" --sim "$build/bin/quva-sim" "$@" 2> >(grep -v '^Modbus:' >&2)
