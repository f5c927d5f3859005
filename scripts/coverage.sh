#!/usr/bin/env bash
# Measures the line coverage of src/ by the whole suite: a gcov build (Debian's
# gcc), the suite, then gcovr. The last line reads "line coverage of src/: N.N%".
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh gcovr
build=build/coverage
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS="--coverage -fprofile-update=atomic" -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage
cmake --build "$build" -j "$(nproc)"
find "$build" -name '*.gcda' -delete
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300 || status=$?
summary=$(gcovr --root . --filter 'src/' --print-summary --output /dev/null "$build")
echo "$summary"
echo "$summary" | awk '/^lines:/ { print "line coverage of src/: " $2 }'
exit "$status"
