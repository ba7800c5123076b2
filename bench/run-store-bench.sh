#!/bin/bash
# Builds a Release configuration in build-store-bench/ and runs the store benchmark on
# the offscreen platform, then times pandas on the same file as a reference: to_csv with
# the timestamps formatted, and read_csv with the timestamp column parsed. pandas comes
# from the Debian package python3-pandas, installed here when missing (it is not one of
# the program's dependencies). Arguments go to bench_store (--quick for a short run).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-store-bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$root/scripts/install-deps.sh"
if [[ "$(dpkg-query -W -f='${Status}' python3-pandas 2>/dev/null || true)" != "install ok installed" ]]; then
    sudo=$([[ $EUID -ne 0 ]] && echo sudo || true)
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        python3-pandas >/dev/null
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUVA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_store -j2

QT_QPA_PLATFORM=offscreen LC_ALL=C TZ=Europe/Berlin "$build/bin/bench_store" "$work" "$@" \
    2> >(grep -v '^MeasurementData:' >&2)

TZ=Europe/Berlin /usr/bin/python3 - "$work/store.csv" "$work/pandas.csv" <<'EOF'
import sys
import time

import pandas

source, target = sys.argv[1], sys.argv[2]
dateFormat = "%Y-%m-%dT%H:%M:%S.%f"

start = time.perf_counter()
frame = pandas.read_csv(source, sep=";", comment="#")
stamp = frame.columns[0]
frame[stamp] = pandas.to_datetime(frame[stamp], format=dateFormat)
read = time.perf_counter() - start

start = time.perf_counter()
out = frame.copy()
out[stamp] = out[stamp].dt.strftime(dateFormat).str[:-3]
with open(target, "w") as file:
    file.write("#\n# QUVA-Explorer Data Export File\n# Tarnwell, 2024\n#\n")
    out.to_csv(file, sep=";", index=False, float_format="%.2f", na_rep="nan")
written = time.perf_counter() - start

print("pandas %s, %d rows: read_csv with the timestamps parsed %.3f s (%.2f million rows/s); "
      "to_csv with the timestamps formatted %.3f s"
      % (pandas.__version__, len(frame), read, len(frame) / read / 1e6, written))
EOF
