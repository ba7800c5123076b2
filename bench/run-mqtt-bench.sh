#!/bin/bash
# Builds a Release configuration in build-mqtt-bench/ and runs the MQTT publishing
# benchmark against a local mosquitto (Debian's, installed by install-deps.sh), started
# and stopped by the benchmark on a free loopback port. Arguments go to bench_mqtt:
# --sensors N (default 1000), --seconds S (default 60), --runs R (default 3).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-mqtt-bench"

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench_mqtt -j2

LC_ALL=C TZ=Europe/Berlin "$build/bin/bench_mqtt" "$@"
