#!/bin/bash
# Builds a Release configuration in build-line-bench/ and measures how many sensors one
# line carries within the 500 ms poll period, at 19200 and 115200 baud, against quva-sim
# on a pseudo-terminal. Arguments go to bench_linecapacity (--exchanges N).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-line-bench"

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUVA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_linecapacity quva-sim -j2

LC_ALL=C "$build/bin/bench_linecapacity" --sim "$build/bin/quva-sim" "$@" \
    2> >(grep -v '^Modbus:' >&2)
