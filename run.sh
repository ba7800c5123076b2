#!/bin/bash
# Installs what is missing, builds a Release build in build/ and starts QUVA-Explorer
# in build/run/, which holds the pictures and the program's own gui_settings.ini.
# Arguments after "--" go to the program.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

programArgs=()
while (($#)); do
    case "$1" in
    --)
        shift
        programArgs=("$@")
        break
        ;;
    *)
        echo "usage: $0 [-- program arguments]" >&2
        exit 2
        ;;
    esac
done

./scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUVA_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target quva-explorer

runDir="$root/build/run"
program="$root/build/bin/quva-explorer"
mkdir -p "$runDir"
cd "$runDir"

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    exec "$program" "${programArgs[@]}"
fi

echo "No display available: starting QUVA-Explorer on a virtual display (Xvfb)."
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$root/build/xdg-runtime}"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
displayFile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$displayFile" 2>/dev/null &
xvfbPid=$!
programPid=
cleanup() {
    [[ -n "$programPid" ]] && kill "$programPid" 2>/dev/null || true
    kill "$xvfbPid" 2>/dev/null || true
    rm -f "$displayFile"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for _ in $(seq 100); do
    [[ -s "$displayFile" ]] && break
    sleep 0.05
done
export DISPLAY=":$(head -n1 "$displayFile")"

"$program" "${programArgs[@]}" &
programPid=$!

screenshot="$root/build/screenshot.png"
sleep 4
window=$(xwininfo -root -tree 2>/dev/null | awk '/\("quva-explorer" / {print $1; exit}')
if import -window "${window:-root}" "$screenshot" 2>/dev/null; then
    echo "Screenshot of the window saved to $screenshot"
else
    echo "Could not take a screenshot" >&2
fi
echo "QUVA-Explorer runs on display $DISPLAY; press Ctrl-C to end it."
wait "$programPid" || true
programPid=
