#!/bin/sh
# Builds demo-setup.exe from this folder: the demo program (32-bit Windows)
# and the wizard's bitmap (make-demo-inputs.sh), and the setup itself, packed
# by kelvopack behind the 32-bit setup program.
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

"$demo/make-demo-inputs.sh" "$out"

"$kelvopack" build "$demo/demo.toml" -o "$output" --stub "$stub"
"$kelvopack" verify -q "$output"
