#!/usr/bin/env bash
# Builds every flavour and runs all tests: unit and integration tests natively
# and under AddressSanitizer/UBSan, short runs of the fuzz targets, the Windows
# builds' headers, the end-to-end tests of the 64-bit Windows build under
# Wine, and the 32-bit lane: the chosen end-to-end tests of the shipped i686
# build under WoW64 Wine in an emulated machine (tests/e2e/lane32; its cold
# run makes the machine's image first; KELVO_LANE32=0 skips it).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
for preset in mingw-i686 mingw-x86_64 asan fuzz; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --parallel "$jobs"
done
cmake --preset native \
    -DKELVO_WIN32_DIR="$PWD/build/mingw-i686" \
    -DKELVO_WIN64_DIR="$PWD/build/mingw-x86_64" \
    -DKELVO_ASAN_DIR="$PWD/build/asan" \
    -DKELVO_FUZZ_DIR="$PWD/build/fuzz" >/dev/null
cmake --build --preset native --parallel "$jobs"
ctest --preset native --parallel "$jobs" "$@"
