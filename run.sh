#!/bin/bash
# Installs what is missing, builds a Release build in build/ and starts QUVA-Explorer
# in build/run/, which holds the program's own gui_settings.ini.
# A simulated sensor (quva-sim) runs on a pseudo-terminal beside it and is offered
# in the port list; --no-sim offers only the machine's own ports.
# Without a display it records from the simulator for 15 seconds without a window;
# --xvfb starts the window on a virtual display instead and saves a screenshot.
# Arguments after "--" go to the program.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

useSimulator=1
useXvfb=0
programArgs=()
while (($#)); do
    case "$1" in
    --no-sim)
        useSimulator=0
        shift
        ;;
    --xvfb)
        useXvfb=1
        shift
        ;;
    --)
        shift
        programArgs=("$@")
        break
        ;;
    *)
        echo "usage: $0 [--no-sim] [--xvfb] [-- program arguments]" >&2
        exit 2
        ;;
    esac
done

./scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUVA_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target quva-explorer quva-sim

runDir="$root/build/run"
program="$root/build/bin/quva-explorer"
mkdir -p "$runDir"
cd "$runDir"

simulatorPid=
port=
xvfbPid=
programPid=
tempFiles=()
cleanup() {
    [[ -n "$programPid" ]] && kill "$programPid" 2>/dev/null || true
    [[ -n "$simulatorPid" ]] && kill "$simulatorPid" 2>/dev/null || true
    [[ -n "$xvfbPid" ]] && kill "$xvfbPid" 2>/dev/null || true
    rm -f "${tempFiles[@]}"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if ((useSimulator)); then
    simulatorOutput=$(mktemp)
    tempFiles+=("$simulatorOutput")
    "$root/build/bin/quva-sim" >"$simulatorOutput" &
    simulatorPid=$!
    for _ in $(seq 100); do
        port=$(sed -n 's/^port: //p' "$simulatorOutput" | head -n1)
        [[ -n "$port" ]] && break
        sleep 0.05
    done
    if [[ -z "$port" ]]; then
        echo "The simulated sensor did not start." >&2
        exit 1
    fi
fi

haveDisplay=0
[[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]] && haveDisplay=1

if ((!haveDisplay && !useXvfb)); then
    if [[ -z "$port" ]]; then
        echo "No display available, and nothing to record from without the simulator." >&2
        echo "Run ./run.sh --xvfb for the window on a virtual display." >&2
        exit 1
    fi
    echo "No display available: recording from the simulated sensor for 15 seconds without a window."
    recording="$runDir/recording-$(date +%Y-%m-%dT%H-%M-%S).csv"
    "$program" --record "$recording" --port "$port" --duration 15 2>/dev/null
    echo "The recording is in $recording"
    echo "To use the window, run ./run.sh on a desktop, or ./run.sh --xvfb for a virtual display."
    exit 0
fi

if [[ -n "$port" ]]; then
    echo "Simulated sensor on $port: choose \"$port : user-given port\" and press Connect."
    programArgs=(--port "$port" "${programArgs[@]}")
fi

if ((haveDisplay)); then
    "$program" "${programArgs[@]}" &
    programPid=$!
    wait "$programPid" || true
    programPid=
    exit 0
fi

echo "Starting QUVA-Explorer on a virtual display (Xvfb)."
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$root/build/xdg-runtime}"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
displayFile=$(mktemp)
tempFiles+=("$displayFile")
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$displayFile" 2>/dev/null &
xvfbPid=$!
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
