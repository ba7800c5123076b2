#!/bin/bash
# Draws the window icon assets/Company-Logo.ico with ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/.."
tmp=$(mktemp --suffix=.png)
trap 'rm -f "$tmp"' EXIT
convert -size 64x64 xc:none \
    -fill '#1e5aa8' -draw 'roundrectangle 2,2 61,61 12,12' \
    -fill none -stroke white -strokewidth 5 \
    -draw 'path "M 8 40 C 18 40, 20 16, 32 16 S 46 40, 56 40"' \
    -stroke none -fill '#ffb02e' -draw 'circle 32,48 37,48' "$tmp"
convert "$tmp" -define icon:auto-resize=64,48,32,16 assets/Company-Logo.ico
