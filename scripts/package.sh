#!/usr/bin/env bash
# Builds the release plug-in and tools and makes the Debian packages libtallowcam, libtallowcam-dev
# and tallowcam-tools in build/packages/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh dpkg-dev file help2man
build=build/package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTALLOWCAM_BUILD_TESTS=OFF -DTALLOWCAM_MAN_PAGES=ON
cmake --build "$build" -j "$(nproc)"
rm -rf build/packages
cpack --config "$build/CPackConfig.cmake" -B build/packages
rm -rf build/packages/_CPack_Packages
ls build/packages/*.deb
