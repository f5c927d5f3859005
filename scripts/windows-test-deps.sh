#!/usr/bin/env bash
# Cross-builds what the Windows test build's camera (camsim) needs and Debian does not package for
# mingw-w64: libxml2, as a static library, and cpp-httplib's single header, both from Debian's source
# packages. Usage: windows-test-deps.sh <i686|x86_64> <prefix>
set -euo pipefail
arch=$1
prefix=$(realpath -m "$2")
[ -f "$prefix/lib/libxml2.a" ] && [ -f "$prefix/include/httplib.h" ] && exit 0
cd "$(dirname "$0")/.."
toolchain=$PWD/cmake/mingw-w64.cmake
bash scripts/install-packages.sh dpkg-dev cmake ninja-build
# apt-get source needs source entries beside the binary ones of the Debian image.
if ! apt-get indextargets --format '$(CREATED_BY)' | grep -qx Sources; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >/etc/apt/sources.list.d/tallowcam-src.sources
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >/etc/apt/sources.list.d/tallowcam-src.list
  fi
  apt-get update
fi
sources=$prefix/src
rm -rf "$sources" && mkdir -p "$sources"
(cd "$sources" && apt-get source -qq libxml2 cpp-httplib)
# The parser, trees and XPath only: no network, compression, character-set or schema support.
cmake -S "$sources"/libxml2-*/ -B "$sources/libxml2-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DTALLOWCAM_WINDOWS_ARCH="$arch" -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_SHARED_LIBS=OFF -DLIBXML2_WITH_PROGRAMS=OFF -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_PYTHON=OFF \
  -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_LZMA=OFF -DLIBXML2_WITH_ZLIB=OFF -DLIBXML2_WITH_HTTP=OFF \
  -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_MODULES=OFF -DLIBXML2_WITH_CATALOG=OFF -DLIBXML2_WITH_DOCB=OFF \
  -DLIBXML2_WITH_SCHEMAS=OFF -DLIBXML2_WITH_SCHEMATRON=OFF -DLIBXML2_WITH_LEGACY=OFF
cmake --build "$sources/libxml2-build" -j "$(nproc)"
cmake --install "$sources/libxml2-build"
install -D -m 644 "$sources"/cpp-httplib-*/httplib.h "$prefix/include/httplib.h"
