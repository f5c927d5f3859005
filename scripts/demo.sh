#!/usr/bin/env bash
# Builds the release library and tools and runs the demonstration host against the built-in camera simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLOWCAM_BUILD_TESTS=OFF
cmake --build "$build" -j "$(nproc)"
"$build/tools/tallowcam/tallowcam" demo "$@"
