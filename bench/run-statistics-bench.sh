#!/bin/bash
# Builds a Release configuration in build-statistics-bench/ and runs the selection
# statistics benchmark. Arguments go to the benchmark (the number of runs).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-statistics-bench"

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUVA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_statistics -j2
LC_ALL=C TZ=Europe/Berlin "$build/bin/bench_statistics" "$@"
