#!/usr/bin/env bash
# Builds Tallowcam.dll for 32-bit Windows into build/windows with Debian's mingw-w64,
# and the same sources for 64-bit Windows into build/windows64 (which wine64 runs
# where the kernel has no 32-bit support). Installs the cross compilers and wine first, and
# checks both builds afterwards (scripts/test-windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  apt-get update
fi
bash scripts/install-packages.sh cmake ninja-build g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  wine wine32:i386 wine64
for arch in i686 x86_64; do
  build=build/windows$([ "$arch" = x86_64 ] && echo 64 || true)
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DTALLOWCAM_WINDOWS_ARCH="$arch"
  cmake --build "$build" -j "$(nproc)"
done
bash scripts/test-windows.sh
