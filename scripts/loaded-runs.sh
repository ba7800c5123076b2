#!/bin/bash
# Runs the whole test suite RUNS times in a row (default 5) while a parallel compile keeps
# both cores busy, to show that no test depends on the machine's speed or its load.
# Expects ./test.sh to have built build-test/. The load is a loop that cleans and rebuilds
# a second build tree, build-load/, with the compile cache off; it ends with the script.
# Exits non-zero when any run had a failing test.
#
#   scripts/loaded-runs.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}

cmake -S . -B build-load -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUVA_BUILD_TESTS=OFF \
    -UCMAKE_CXX_COMPILER_LAUNCHER -UCMAKE_C_COMPILER_LAUNCHER >/dev/null
# Its own process group, so that the whole compile ends with the script.
set -m
(
    export CCACHE_DISABLE=1
    while :; do
        cmake --build build-load --target clean >/dev/null 2>&1 || true
        cmake --build build-load -j2 >/dev/null 2>&1 || true
    done
) &
load=$!
set +m
trap 'kill -- -$load 2>/dev/null || kill $load 2>/dev/null || true; wait $load 2>/dev/null || true' EXIT

export QT_QPA_PLATFORM=offscreen LC_ALL=C LANG=C TZ=Europe/Berlin
failed=0
for ((run = 1; run <= runs; run++)); do
    echo "=== run $run of $runs, load average $(cut -d' ' -f1-3 /proc/loadavg)"
    started=$SECONDS
    if (cd build-test && ctest --output-on-failure -j2); then
        echo "=== run $run passed in $((SECONDS - started)) s"
    else
        echo "=== run $run FAILED after $((SECONDS - started)) s"
        failed=$((failed + 1))
    fi
done
echo "=== $failed of $runs runs had failures"
exit $((failed > 0))
