#!/usr/bin/env bash
# Builds the library and the tests with ThreadSanitizer and runs the whole suite.
# Every report fails the run, also one from a program a test started (camsim,
# tallowcam): each process writes its reports into the build's report folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/tsan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLOWCAM_TSAN=ON
cmake --build "$build" -j "$(nproc)"
reports="$PWD/$build/reports"
rm -rf "$reports" && mkdir -p "$reports"
export TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp:log_path=$reports/tsan:second_deadlock_stack=1"
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 180 || status=$?
if compgen -G "$reports/tsan*" >/dev/null; then
  cat "$reports"/tsan*
  echo "test-tsan.sh: ThreadSanitizer reports above" >&2
  status=1
fi
exit "$status"
