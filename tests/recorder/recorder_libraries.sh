#!/bin/sh
# quva-recorder is for a computer without a desktop: it must load no Qt Gui, Widgets or
# Svg, no X11 or xcb, GL or font library, and it must start without a display.
# Usage: recorder_libraries.sh PROGRAM VERSION
set -u
program=$1
version=$2
name=$(basename "$program")

if ! libraries=$(ldd "$program"); then
    echo "FAIL: ldd cannot read $program"
    exit 1
fi
desktop=$(printf '%s\n' "$libraries" | awk '{ print $1 }' | grep -E \
    '^lib(Qt5(Gui|Widgets|Svg|OpenGL|XcbQpa)|X[[:alnum:]_-]*|xcb[[:alnum:]_-]*|xkbcommon[[:alnum:]_-]*|GL[[:alnum:]_-]*|EGL|OpenGL|fontconfig|freetype)\.so')
if [ -n "$desktop" ]; then
    for library in $desktop; do
        echo "FAIL: $name loads the desktop library $library"
    done
    exit 1
fi

if ! output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version 2>&1); then
    echo "FAIL: $name --version without a display failed: $output"
    exit 1
fi
if [ "$output" != "$name $version" ]; then
    echo "FAIL: $name --version printed \"$output\", not \"$name $version\""
    exit 1
fi
echo "$name: no desktop library among $(printf '%s\n' "$libraries" | wc -l) loaded; --version: $output"
