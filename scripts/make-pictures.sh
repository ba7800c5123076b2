#!/bin/bash
# Draws the raster pictures in assets/ with ImageMagick: the window icon, the
# desktop icons and the USB Kit shown beside the factory-reset help.
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

# The same logo for the desktop's icon theme, drawn at 256 px and scaled down;
# assets/icons/quva-explorer.svg is its scalable twin.
convert -size 256x256 xc:none \
    -fill '#1e5aa8' -draw 'roundrectangle 8,8 244,244 48,48' \
    -fill none -stroke white -strokewidth 20 -draw 'stroke-linecap round' \
    -draw 'path "M 32 160 C 72 160, 80 64, 128 64 S 184 160, 224 160"' \
    -stroke none -fill '#ffb02e' -draw 'circle 128,192 148,192' \
    -depth 8 -strip assets/icons/quva-explorer-256.png
for size in 128 48; do
    convert assets/icons/quva-explorer-256.png -resize "${size}x$size" -depth 8 -strip \
        "assets/icons/quva-explorer-$size.png"
done

# The USB Kit: USB cable on the left, the adapter with its reset button, the
# sensor cable on the right.
convert -size 300x150 xc:white -font DejaVu-Sans \
    -fill none -stroke '#404040' -strokewidth 5 \
    -draw 'path "M 6 80 C 30 80, 40 60, 78 66"' \
    -draw 'path "M 222 66 C 250 60, 262 92, 294 88"' \
    -stroke '#303030' -strokewidth 1 -fill '#b0b0b0' -draw 'rectangle 66,58 82,74' \
    -fill '#2d3e50' -draw 'roundrectangle 80,36 222,104 12,12' \
    -fill '#e8e8e8' -draw 'rectangle 218,58 232,74' \
    -fill '#d8352a' -stroke '#7a1a14' -strokewidth 2 -draw 'circle 176,70 176,84' \
    -stroke none -fill white -pointsize 15 -annotate +96+62 'USB Kit' \
    -pointsize 10 -annotate +96+80 'QUVA' \
    -fill '#303030' -pointsize 11 -annotate +106+128 'Restore factory settings' \
    -stroke '#303030' -strokewidth 1 -draw 'line 176,86 176,114' \
    -stroke none -pointsize 11 -annotate +8+100 'USB to PC' -annotate +236+108 'to sensor' \
    assets/USB-KIT.png
