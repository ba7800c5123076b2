#!/bin/bash
# Builds a Release configuration in build-plot-bench/ and runs the plot benchmark on
# the offscreen platform. With --images it also writes the literal and the program's
# rendering of the simulator's data to docs/plot-literal.png and docs/plot-fast.png.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-plot-bench"

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUVA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_plot -j2

arguments=()
if [[ "${1:-}" == "--images" ]]; then
    mkdir -p "$root/docs"
    arguments=(--images "$root/docs")
    shift
fi
QT_QPA_PLATFORM=offscreen LC_ALL=C TZ=Europe/Berlin "$build/bin/bench_plot" "${arguments[@]}" "$@"
