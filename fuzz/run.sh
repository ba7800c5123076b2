#!/bin/bash
# Builds the libFuzzer targets with clang and runs each for SECONDS seconds, starting from
# the committed corpus. New inputs and crash inputs stay in the build folder.
#
#   fuzz/run.sh SECONDS [TARGET...]      (FUZZ_BUILD_DIR, default build-fuzz)
#
# Prints one line per target with the inputs run and the crashes found; exits non-zero
# when any target crashed.
set -euo pipefail
cd "$(dirname "$0")/.."

if (($# < 1)) || ! [[ "$1" =~ ^[0-9]+$ ]]; then
    echo "usage: $0 SECONDS [TARGET...]" >&2
    exit 2
fi
seconds=$1
shift
targets=("$@")
if ((${#targets[@]} == 0)); then
    targets=(modbusreply csvline csvimport calibrationfile mappingfile decoders linelayer)
fi
build=${FUZZ_BUILD_DIR:-build-fuzz}

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j2 >/dev/null

failed=0
for target in "${targets[@]}"; do
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target
    rm -rf "$artifacts"
    mkdir -p "$corpus" "$artifacts"
    log=$build/$target.log
    status=0
    "$build/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$corpus" "fuzz/corpus/$target" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    crashes=$(find "$artifacts" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
        -o -name 'oom-*' \) | wc -l)
    echo "$target: ${runs:-0} inputs run in $seconds s, $crashes crashes (exit $status, log $log)"
    if ((status != 0 || crashes != 0)); then
        failed=1
    fi
done
exit $failed
