#!/bin/sh
# Regenerates kelvo.ico, the program's icon (icon group 2): a 32 x 32 parcel
# with an arrow pointing into it. Needs ImageMagick's convert.
set -eu
cd "$(dirname "$0")"
convert -size 32x32 xc:none \
    -fill '#c98f4a' -stroke '#5a3a14' -strokewidth 1 -draw 'polygon 3,13 28,13 28,30 3,30' \
    -fill '#e3b27a' -draw 'polygon 3,13 8,8 23,8 28,13' \
    -stroke none -fill '#8a5a24' -draw 'rectangle 13,13 18,29' \
    -fill '#1f5fbf' -stroke '#0b2a5c' -draw 'polygon 12,1 19,1 19,8 23,8 15.5,16 8,8 12,8' \
    -type TrueColorAlpha -define icon:auto-resize=32 kelvo.ico
