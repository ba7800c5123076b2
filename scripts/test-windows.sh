#!/bin/bash
# Tests the Windows build (scripts/build-windows.sh) under Wine, in a Wine prefix of its
# own (build-windows/wine):
#   1. the Windows builds of the tests that need no pseudo-terminal, on Qt's offscreen
#      platform (ctest in build-windows, through Wine);
#   2. the programs' icon and version resources, and the recorder's option checks;
#   3. the COM port layer alone (src/platform/comportwindows.cpp, no Qt) against the
#      simulator on a Linux pseudo-terminal mapped to COM5 and COM12 in the prefix;
#      SerialTransport, the link and the port list on COM12; then the link end to end: the simulator on COM5, recorded by quva-recorder.exe and
#      compared with the Linux recorder's file of the same simulated series;
#   4. the window on Xvfb with the Settings tab, saved as docs/windows-settings.png when
#      QUVA_WINDOWS_SCREENSHOT is set;
#   5. the installer run silently, the installed programs started from their folder, the
#      uninstaller: nothing of the program left, the user's data kept.
#
#   scripts/test-windows.sh            all of it, after scripts/build-windows.sh
#   scripts/test-windows.sh --com-only the COM port layer alone: needs no Windows build
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${QUVA_WINDOWS_CACHE:-$HOME/.cache/quva-windows}
build=${QUVA_WINDOWS_BUILD:-$repo/build-windows}
version=$(sed -n 's/^project(QUVAExplorer VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
triplet=x86_64-w64-mingw32

com_only=0
case "${1:-}" in
"") ;;
--com-only) com_only=1 ;;
*)
    echo "test-windows.sh: unknown option '$1'; accepted: --com-only" >&2
    exit 2
    ;;
esac

if ((!com_only)) && [[ ! -f $build/bin/quva-recorder.exe || ! -d $cache/qt/bin ]]; then
    echo "test-windows.sh: no Windows build in $build; run scripts/build-windows.sh first" >&2
    exit 2
fi

export WINEPREFIX=$build/wine WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and Wine would offer to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
pass() { echo "PASS: $*"; }
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

mkdir -p "$WINEPREFIX"
if [[ ! -d $WINEPREFIX/drive_c ]]; then
    echo "Making the Wine prefix $WINEPREFIX"
    wineboot --init >/dev/null 2>&1
    wineserver -w
fi

# Qt's DLLs and the compiler's runtime for the programs that are not deployed with them.
# Wine keeps the QT_ variables of Linux from Windows programs: WINEQT_ ones reach them
# without the WINE.
windows_path() { winepath -w "$1" 2>/dev/null; }
dll_path=()
for folder in "$cache/qt/bin" /usr/lib/gcc/$triplet/*-posix /usr/$triplet/lib; do
    dll_path+=("$(windows_path "$folder")")
done
wine_env=(env WINEPATH="$(
    IFS=';'
    echo "${dll_path[*]}"
)" WINEQT_PLUGIN_PATH="$(windows_path "$cache/qt/plugins")")

linux=$build/linux
cmake -S "$repo" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUVA_BUILD_TESTS=OFF \
    $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) >/dev/null
nice -n 19 cmake --build "$linux" -j2 --target quva-sim $( ((com_only)) || echo quva-recorder) \
    >/dev/null

# Starts the simulator with a fixed seed and rate, so that every run serves the same
# series, and the further options given; sets sim_pid and port.
start_sim() {
    local log=$1 i
    shift
    # The log exists before the first look into it, however late the simulator starts.
    : >"$log"
    "$linux/bin/quva-sim" --seed 7 --rate 2 "$@" >"$log" 2>&1 &
    sim_pid=$!
    pids+=("$sim_pid")
    port=
    for ((i = 0; i < 100; ++i)); do
        port=$(sed -n 's/^port: //p' "$log" | head -1)
        [[ -z $port ]] || return 0
        sleep 0.1
    done
    return 1
}
stop_sim() {
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
}

# --- The COM port layer -------------------------------------------------------------

# The platform's COM port without Qt (tests/platform/comportcheck.cpp) against the
# simulator on COM5 (mode 0) and on COM12 (mode 5), which only "\\.\COM12" reaches: a
# Modbus exchange on each, also after clearing input, a missing COM99, the line settings
# the pseudo-terminal got from SetCommState, and the simulator killed under the open port.
# (Under Wine a pseudo-terminal that already has odd parity refuses the next SetCommState:
# Linux keeps PARODD on it but drops PARENB, and Wine's tcsetattr fails; so odd parity
# comes last.)
check_com_port() {
    echo "== The COM port layer against the simulator on COM5 and COM12"
    local exe=$work/comportcheck.exe check i settings expected
    if ! $triplet-g++-posix -std=c++17 -O1 -Wall -Wextra -Werror -municode -static \
        -I"$repo/src/platform" "$repo/src/platform/comportwindows.cpp" \
        "$repo/tests/platform/comportcheck.cpp" -o "$exe"; then
        fail "comportcheck.exe does not build"
        return
    fi
    if ! start_sim "$work/sim-com.log"; then
        fail "the simulator did not start: $(cat "$work/sim-com.log")"
        return
    fi
    # The simulator set its own line; the port's settings must come from the check.
    stty -F "$port" 38400
    ln -sfn "$port" "$WINEPREFIX/dosdevices/com5"
    ln -sfn "$port" "$WINEPREFIX/dosdevices/com12"
    wine "$exe" --missing COM99 --hang-up COM5 COM12:5 >"$work/com.out" 2>/dev/null &
    check=$!
    pids+=("$check")
    for ((i = 0; i < 600; ++i)); do
        grep -qs '^waiting for hang-up' "$work/com.out" && break
        kill -0 "$check" 2>/dev/null || break
        sleep 0.1
    done
    settings=$(stty -a -F "$port" 2>&1 || true)
    stop_sim
    set +e
    wait "$check"
    status=$?
    set -e
    rm -f "$WINEPREFIX/dosdevices/com5" "$WINEPREFIX/dosdevices/com12"
    tr -d '\r' <"$work/com.out"
    if ((status == 0)) && ! grep -q '^FAIL' "$work/com.out"; then
        pass "comportcheck.exe on COM5 and COM12"
    else
        fail "comportcheck.exe on COM5 and COM12 -> $status"
    fi
    # Mode 5: odd parity (a pseudo-terminal keeps PARODD but not PARENB), two stop bits.
    for expected in "speed 19200 baud" " cs8 " " cstopb " " parodd " " -crtscts " " -ixon " \
        " -ixoff "; do
        if ! grep -qF -- "$expected" <<<" ${settings//$'\n'/ } "; then
            fail "the pseudo-terminal behind COM12 lacks \"$expected\": $settings"
            return
        fi
    done
    pass "the pseudo-terminal behind COM12 is at 19200 baud, 8 data bits, odd, 2 stop bits"
}

# SerialTransport, the link and the port list of the Windows build
# (tests/modbus/tst_serialtransportwindows.cpp) against the simulator on COM12, entered
# with a COM7 in Wine's own port table (HKLM\Software\Wine\Ports), which Wine lists
# under HARDWARE\DEVICEMAP\SERIALCOMM when it starts: a bare dosdevices link is not
# listed there. The list must come by number (COM7 before COM12); the simulator is killed
# at the end.
check_serial_transport() {
    echo "== SerialTransport and the port list against the simulator on COM12"
    local exe=$build/bin/tst_serialtransportwindows.exe check i listed name
    local ports='HKLM\Software\Wine\Ports'
    if ! start_sim "$work/sim-transport.log"; then
        fail "the simulator did not start: $(cat "$work/sim-transport.log")"
        return
    fi
    for name in COM7 COM12; do
        wine reg add "$ports" /v "$name" /d "$port" /f >/dev/null 2>&1
    done
    wineserver -k || true
    wineserver -w
    listed=$(wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>/dev/null | tr -d '\r' |
        awk '$2 == "REG_SZ" { print $3 }' | sort -k1.4n | paste -sd, -)
    echo "SERIALCOMM by number: $listed"
    # Qt Test's own lines go to a file: under Wine they do not reach a redirected stdout.
    (export QUVA_TEST_COM_PORT=COM12 QUVA_TEST_LISTED_PORTS=$listed &&
        exec "${wine_env[@]}" wine "$exe" -o "$(windows_path "$work")\\transport.txt,txt") \
        >"$work/transport.out" 2>&1 &
    check=$!
    pids+=("$check")
    for ((i = 0; i < 1200; ++i)); do
        grep -qs '^waiting for hang-up' "$work/transport.out" && break
        kill -0 "$check" 2>/dev/null || break
        sleep 0.1
    done
    stop_sim
    set +e
    wait "$check"
    status=$?
    set -e
    for name in COM7 COM12; do
        wine reg delete "$ports" /v "$name" /f >/dev/null 2>&1 || true
    done
    wineserver -k || true
    wineserver -w
    rm -f "$WINEPREFIX/dosdevices/com7" "$WINEPREFIX/dosdevices/com12"
    tr -d '\r' <"$work/transport.txt" 2>/dev/null | grep -vE '^(QDEBUG|\*|Config)' || true
    if ((status == 0)) && [[ $listed == *COM7,*COM12* ]]; then
        pass "tst_serialtransportwindows.exe on COM12"
    else
        fail "tst_serialtransportwindows.exe on COM12 -> $status (listed: $listed)"
    fi
}

if ((com_only)); then
    check_com_port
    if ((failures > 0)); then
        echo "test-windows.sh: $failures failed"
        exit 1
    fi
    echo "test-windows.sh: the COM port check passed"
    exit 0
fi

# --- 1. The tests -----------------------------------------------------------------

echo "== Windows builds of the tests, under Wine"
if (cd "$build" && "${wine_env[@]}" ctest -j2 --output-on-failure); then
    pass "ctest in $build"
else
    fail "ctest in $build"
fi

# --- 2. Resources and option checks ---------------------------------------------------

echo "== Resources and option checks"
cd "$work"
for program in quva-explorer quva-recorder; do
    exe=$build/bin/$program.exe
    # The version resource holds its strings in UTF-16.
    if strings -el "$exe" | grep -qx "$version" && strings -el "$exe" | grep -qx "$program.exe" &&
        $triplet-objdump -h "$exe" | grep -q '\.rsrc'; then
        pass "$program.exe carries its version $version and icon resources"
    else
        fail "$program.exe lacks its version or icon resources"
    fi
done

# Runs a Windows program; its exit code in status, stdout and stderr in out.
run_windows() {
    set +e
    out=$("${wine_env[@]}" wine "$@" 2>&1 | tr -d '\r')
    status=${PIPESTATUS[0]}
    set -e
}
expect_refusal() {
    local expected=$1
    shift
    run_windows "$build/bin/quva-recorder.exe" "$@"
    if ((status == 2)) && grep -qF -- "$expected" <<<"$out"; then
        pass "quva-recorder.exe $* -> 2, \"$expected\""
    else
        fail "quva-recorder.exe $* -> $status, \"$out\" (expected 2, \"$expected\")"
    fi
}
run_windows "$build/bin/quva-recorder.exe" --version
if ((status == 0)) && grep -qF -- "$version" <<<"$out"; then
    pass "quva-recorder.exe --version"
else
    fail "quva-recorder.exe --version -> $status, \"$out\""
fi
expect_refusal "Error: this build has no MQTT" --record r.csv --port COM5 --mqtt mqtt://127.0.0.1:1883
expect_refusal "Error: this build has no MQTT" --record r.csv --subscribe mqtt://127.0.0.1:1883
expect_refusal "Error: --record needs --port PATH" --record r.csv
expect_refusal "--baud" --record r.csv --port COM5 --baud 300
[[ ! -e r.csv ]] || fail "a refused command line left r.csv"

# --- 3. The link end to end over COM5 ---------------------------------------------------

check_com_port
check_serial_transport

echo "== Recording from the simulator through COM5"
# The data lines without their time stamps (the time of the run) and line ends.
data_without_time() {
    tr -d '\r' <"$1" | grep -v '^#' | grep -v '^date/time' | cut -d';' -f2-
}

start_sim "$work/sim-linux.log"
"$linux/bin/quva-recorder" --record "$work/linux.csv" --port "$port" --duration 16 \
    >"$work/linux.out" 2>&1 || true
stop_sim

start_sim "$work/sim-windows.log"
ln -sfn "$port" "$WINEPREFIX/dosdevices/com5"
run_windows "$build/bin/quva-recorder.exe" --record "$(windows_path "$work")\\windows.csv" \
    --port COM5 --duration 16
stop_sim
rm -f "$WINEPREFIX/dosdevices/com5"
if ((status != 0)) || [[ ! -s $work/windows.csv ]]; then
    fail "recording through COM5: exit $status: $out"
else
    samples=$(data_without_time "$work/windows.csv" | wc -l)
    crlf=$(grep -c $'\r$' "$work/windows.csv" || true)
    lines=$(wc -l <"$work/windows.csv")
    # The simulator's series is the same in both runs; where each recording starts in it
    # depends on timing, so the samples are compared as sets.
    common=$(comm -12 <(data_without_time "$work/linux.csv" | sort) \
        <(data_without_time "$work/windows.csv" | sort) | wc -l)
    if ((samples >= 20 && crlf == lines && common >= 20)) &&
        cmp -s <(tr -d '\r' <"$work/windows.csv" | head -5) <(head -5 "$work/linux.csv"); then
        pass "COM5: $samples samples, every line CR LF, $common lines equal to the Linux recorder's"
    else
        fail "COM5: $samples samples, $crlf of $lines lines CR LF, $common equal to Linux's"
    fi
fi

# --- 4. The window on Xvfb ------------------------------------------------------------

echo "== The window on Xvfb"
Xvfb -displayfd 3 -screen 0 1366x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for ((i = 0; i < 100; ++i)); do
    [[ -s $work/display ]] && break
    sleep 0.1
done
export DISPLAY=:$(cat "$work/display")
start_sim "$work/sim-window.log"
# COM5 in Wine's port table, so that the port list shows it. Wine reads the table when it
# starts, and its desktop process reaches the display only when started with it.
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$port" /f >/dev/null 2>&1
wineserver -k || true
wineserver -w
(cd "$work" && exec "${wine_env[@]}" wine "$build/bin/quva-explorer.exe") \
    >"$work/window.log" 2>&1 &
pids+=($!)
# The window is up once X knows it by its title; the port list fills within its scan.
shown=0
for ((i = 0; i < 600 && !shown; ++i)); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"QUVA-Explorer"'; then
        shown=1
    else
        sleep 0.1
    fi
done
# The port scan runs every 200 ms: one second later the list is filled.
sleep 1
import -window root "$work/window.png" 2>/dev/null || true
wine reg delete 'HKLM\Software\Wine\Ports' /v COM5 /f >/dev/null 2>&1 || true
wineserver -k || true
stop_sim
rm -f "$WINEPREFIX/dosdevices/com5"
if ((shown)) && [[ -s $work/window.png ]]; then
    pass "window screenshot taken ($work/window.png)"
    if [[ -n ${QUVA_WINDOWS_SCREENSHOT:-} ]]; then
        cp "$work/window.png" "$repo/docs/windows-settings.png"
    fi
else
    fail "no window screenshot: $(tail -5 "$work/window.log")"
fi

# --- 5. Installer and uninstaller -----------------------------------------------------

echo "== Installer and uninstaller"
setup=$build/packages/QUVA-Explorer-$version-setup.exe
local_appdata=$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
local_appdata_unix=$(winepath -u "$local_appdata" 2>/dev/null)
installed=$local_appdata_unix/Programs/QUVA-Explorer
data=$local_appdata_unix/QUVA-Explorer
menu=$(winepath -u "$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')")
menu="$menu/Microsoft/Windows/Start Menu/Programs/QUVA-Explorer"
wine "$setup" /S
wineserver -w
if [[ -f $installed/quva-explorer.exe && -f $installed/Uninstall.exe && -d $data &&
    -f $menu/QUVA-Explorer.lnk ]]; then
    pass "installed into $installed with a Start menu entry"
else
    fail "installer: program, uninstaller, data folder or Start menu entry missing"
fi
# Started from the install folder with only what was installed: no WINEPATH. The window
# program shows --version in a message box, as a Windows program without a console does:
# with no display Wine's message box returns at once, so its start is checked by its exit
# code, and its version by its resource. A fresh Wine server, so that no desktop process
# holds on to Xvfb. Bounded: a program that waits for a click fails instead of holding up
# the run.
wineserver -k || true
wineserver -w
installed_version() {
    set +e
    out=$(cd "$installed" && env -u DISPLAY timeout 60 wine "./$1.exe" --version 2>&1 |
        tr -d '\r')
    status=${PIPESTATUS[0]}
    set -e
}
installed_version quva-explorer
if ((status == 0)) && strings -el "$installed/quva-explorer.exe" | grep -qx "$version"; then
    pass "installed quva-explorer.exe starts, version $version in its resource"
else
    fail "installed quva-explorer.exe --version -> $status: $out"
fi
installed_version quva-recorder
if ((status == 0)) && grep -qF -- "$version" <<<"$out"; then
    pass "installed quva-recorder.exe starts and prints its version"
else
    fail "installed quva-recorder.exe --version -> $status: $out"
fi
echo "kept" >"$data/user-file.csv"
wine "$installed/Uninstall.exe" /S
wineserver -w
if [[ ! -e $installed && ! -e $menu && -f $data/user-file.csv ]] &&
    ! wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\QUVA-Explorer' \
        >/dev/null 2>&1; then
    pass "uninstalled: nothing of the program left, the user's data kept"
else
    fail "uninstaller left: $(find "$installed" "$menu" 2>/dev/null | head -5)"
fi
rm -rf "$data"

if ((failures > 0)); then
    echo "test-windows.sh: $failures failed"
    exit 1
fi
echo "test-windows.sh: all passed"
