#!/bin/sh
# Builds demo-setup.exe from this folder: the demo program (32-bit Windows),
# the wizard's bitmap, and the setup itself, packed by kelvopack behind the
# 32-bit setup program.
#
#   examples/demo/make-demo-setup.sh [OUTPUT]      (default: ./demo-setup.exe
#                                                   at the top of the tree)
# KELVO_STUB=path/to/kelvo.exe uses another setup program.
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
demo="$root/examples/demo"
output=${1:-"$root/demo-setup.exe"}
out="$demo/out"
kelvopack="$root/build/native/tools/kelvopack/kelvopack"
stub=${KELVO_STUB:-"$root/build/mingw-i686/app/kelvo.exe"}

cd "$root"
[ -f build/native/build.ninja ] || cmake --preset native
cmake --build --preset native --target kelvopack
if [ ! -f "$stub" ]; then
    [ -f build/mingw-i686/build.ninja ] || cmake --preset mingw-i686
    cmake --build --preset mingw-i686
fi

mkdir -p "$out"
# No time stamp in the image, so that the same sources give the same setup.
i686-w64-mingw32-gcc -Os -s -mwindows -Wl,--no-insert-timestamp \
    -o "$out/hello.exe" "$demo/hello/hello.c"
# The wizard shows a 256-colour, uncompressed Windows 3 bitmap.
convert -size 160x300 gradient:'#1b3a6b'-'#6fa8dc' \
    -font DejaVu-Sans-Bold -fill white -gravity north \
    -pointsize 36 -annotate +0+40 'Kelvo' \
    -pointsize 18 -annotate +0+92 'Demo' \
    -type Palette -colors 256 -compress None "BMP3:$out/kelvo.bmp"

"$kelvopack" build "$demo/demo.toml" -o "$output" --stub "$stub"
"$kelvopack" verify -q "$output"
