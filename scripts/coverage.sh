#!/usr/bin/env bash
# Line coverage of src/ by the whole suite: a gcov build, the suite, then gcovr.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh gcovr
build=build/coverage
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage
cmake --build "$build" -j "$(nproc)"
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 180
percent=$(gcovr --root . --filter 'src/' --print-summary --output /dev/null "$build" |
  awk '/^lines:/ { sub("%", "", $2); print $2 }')
echo "line coverage of src/: ${percent}%"
