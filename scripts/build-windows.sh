#!/usr/bin/env bash
# Builds Tallowcam.dll for 32-bit Windows into build/windows with Debian's mingw-w64, and the same
# sources with the test programs for 64-bit Windows into build/windows64 (which wine64 runs where the
# kernel has no 32-bit support). Installs the cross compilers and wine first, and checks both builds
# afterwards (scripts/test-windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  apt-get update
fi
bash scripts/install-packages.sh cmake ninja-build g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  wine wine32:i386 wine64 libgtest-dev
toolchain=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake)
cmake -S . -B build/windows "${toolchain[@]}" -DTALLOWCAM_WINDOWS_ARCH=i686 -DTALLOWCAM_BUILD_TESTS=OFF
cmake --build build/windows -j "$(nproc)"
bash scripts/windows-test-deps.sh x86_64 build/windows-deps/x86_64
cmake -S . -B build/windows64 "${toolchain[@]}" -DTALLOWCAM_WINDOWS_ARCH=x86_64 \
  -DTALLOWCAM_WINDOWS_DEPS="$PWD/build/windows-deps/x86_64"
cmake --build build/windows64 -j "$(nproc)"
bash scripts/test-windows.sh
