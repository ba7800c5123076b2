#!/bin/bash
# Takes the documents' screenshots on a virtual display: the real program, driven
# as a user would, against the simulated sensor. Pictures go to docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUVA_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target quva-screenshots
xvfb-run -a -s "-screen 0 1366x768x24" build/bin/quva-screenshots "$(pwd)/docs"
