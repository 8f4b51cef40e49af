#!/bin/sh
# Makes the files of the demo project that are built rather than written:
# the demo program hello.exe and the wizard's bitmap kelvo.bmp.
#
#   examples/demo/make-demo-inputs.sh [FOLDER]     (default: examples/demo/out)
# KELVO_DEMO_CC=x86_64-w64-mingw32-gcc builds a 64-bit hello.exe, one that a
# 64-bit Wine can run; the shipped demo carries the 32-bit one.
set -eu

demo=$(cd "$(dirname "$0")" && pwd)
out=${1:-"$demo/out"}
cc=${KELVO_DEMO_CC:-i686-w64-mingw32-gcc}

mkdir -p "$out"
# No time stamp in the image, so that the same sources give the same setup.
"$cc" -Os -s -mwindows -Wl,--no-insert-timestamp \
    -o "$out/hello.exe" "$demo/hello/hello.c"
# The wizard shows a 256-colour, uncompressed Windows 3 bitmap. Reduced
# without dithering, which would sprinkle noise over the smooth gradient.
convert -size 160x300 gradient:'#1b3a6b'-'#6fa8dc' \
    -font DejaVu-Sans-Bold -fill white -gravity north \
    -pointsize 36 -annotate +0+40 'Kelvo' \
    -pointsize 18 -annotate +0+92 'Demo' \
    +dither -type Palette -colors 256 -compress None "BMP3:$out/kelvo.bmp"
