#!/bin/bash
# Builds a Release configuration in build-viewer-bench/ and times how much later a
# 10,000,000-sample recording is shown in a viewer window than its plain CSV import has
# finished, on the offscreen platform. Arguments go to bench_viewer (--quick, --runs N).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-viewer-bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUVA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_viewer -j2

QT_QPA_PLATFORM=offscreen LC_ALL=C TZ=Europe/Berlin "$build/bin/bench_viewer" "$work" "$@"
