#!/bin/sh
# The options are checked before the window system starts: without a display, an unknown
# option or a missing value gets the usage error and exit code 2 (as a bad value does), and
# a start of the window one line and exit code 1, never the window system's abort.
# Usage: command_line.sh QUVA_EXPLORER QUVA_RECORDER
set -u
explorer=$1
recorder=$2
failures=0

# expect CODE FIRST_LINE LINES PROGRAM ARGUMENTS...: exit code, first stderr line, line count.
expect() {
    code=$1 first=$2 lines=$3
    shift 3
    errors=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" 2>&1 >/dev/null)
    got=$?
    name="$(basename "$1") $(echo "$@" | cut -d' ' -f2-)"
    if [ "$got" != "$code" ]; then
        echo "FAIL: $name: exit code $got, not $code: $errors"
        failures=$((failures + 1))
    elif [ "$(printf '%s\n' "$errors" | head -n 1)" != "$first" ]; then
        echo "FAIL: $name: printed \"$errors\", not \"$first\" first"
        failures=$((failures + 1))
    elif [ "$(printf '%s\n' "$errors" | wc -l)" != "$lines" ]; then
        echo "FAIL: $name: printed $(printf '%s\n' "$errors" | wc -l) lines, not $lines: $errors"
        failures=$((failures + 1))
    else
        echo "ok: $name: $code"
    fi
}

cd "$(mktemp -d)" || exit 1
expect 2 "quva-explorer: Unknown option 'bogus'." 2 "$explorer" --bogus
expect 2 "quva-explorer: Missing value after '--baud'." 2 "$explorer" --baud
expect 2 "quva-explorer: Unknown option 'bogus'." 2 "$explorer" --record run.csv --bogus
expect 2 "quva-recorder: Unknown option 'bogus'." 2 "$recorder" --bogus
expect 1 "quva-explorer: no display for the window (DISPLAY and WAYLAND_DISPLAY are not set); --record, --subscribe, --help and --version need none" 1 "$explorer"
# Qt's own options still reach the window system.
expect 1 "quva-explorer: no display for the window (DISPLAY and WAYLAND_DISPLAY are not set); --record, --subscribe, --help and --version need none" 1 "$explorer" -style Fusion -reverse
[ -z "$(ls)" ] || { echo "FAIL: files left: $(ls)"; failures=$((failures + 1)); }
exit $((failures > 0))
