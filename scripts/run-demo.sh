#!/usr/bin/env bash
# The demo, after scripts/install-deps.sh: builds Kelvo, packs examples/demo
# into demo-setup.exe at the top of the tree (behind the shipped 32-bit setup
# program), and shows the same demo's wizard under Wine. This machine runs
# only 64-bit Windows code, so the Wine run uses the demo packed behind the
# 64-bit setup program, in a private Wine prefix on a private X server with a
# virtual desktop. Its picture goes to build/demo/wizard.png, the working
# files start-up wrote to build/demo/working-files/. Nothing tracked is
# written: the README's pictures are taken by scripts/wizard_pictures.py.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$(date +%s)

# Only what the demo needs; build trees that exist are reused. The Windows
# trees come first, so that a new native tree finds them for its tests.
build() {
    local preset=$1
    shift
    [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target "$@"
}
build mingw-i686 kelvo
# wine-session: the programs every Wine session of the harness starts.
build mingw-x86_64 kelvo wine-session
build native kelvopack

examples/demo/make-demo-setup.sh "$root/demo-setup.exe"
mkdir -p build/demo/x86_64
KELVO_STUB="$root/build/mingw-x86_64/app/kelvo.exe" \
    examples/demo/make-demo-setup.sh "$root/build/demo/x86_64/demo-setup.exe"

python3 scripts/demo_under_wine.py build/demo/x86_64/demo-setup.exe \
    --out build/demo

echo "demo-setup.exe (32-bit, to ship): $root/demo-setup.exe"
echo "its 64-bit twin, run under Wine:  $root/build/demo/x86_64/demo-setup.exe"
echo "done in $(( $(date +%s) - started )) s"
