#!/usr/bin/env bash
# Installs what Kelvo needs to build, test and run under Wine on Debian 12.
set -euo pipefail

packages=(
    cmake ninja-build g++ make git python3 ca-certificates
    libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev
    libtomlplusplus-dev libcli11-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
    wine wine64 xvfb xdotool imagemagick fonts-wine
    osslsigncode openssl clang-tidy clang-format procps
    clang libclang-rt-14-dev
    dpkg-dev file  # cpack -G DEB: dpkg-shlibdeps works out the dependencies
    # The 32-bit lane: a Debian root for a machine emulated in full.
    mmdebstrap qemu-system-x86 e2fsprogs
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${packages[@]}"
