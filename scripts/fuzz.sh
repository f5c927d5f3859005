#!/usr/bin/env bash
# Builds the libFuzzer programs with clang and runs each for SECONDS (default
# 30), two at a time. New inputs stay in build/fuzz/corpus/<target>; an input
# that makes a target fail lands in build/fuzz/crashes/<target>/ and the
# script fails. Keep such an input in fuzz/regressions/<target>/ once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
bash scripts/setup.sh
bash scripts/install-packages.sh clang libclang-rt-14-dev
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLOWCAM_FUZZ=ON
cmake --build "$build" -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_target() {
  local name=$1
  local corpus="$build/corpus/$name" crashes="$build/crashes/$name"
  mkdir -p "$corpus" "$crashes"
  if "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=1024 \
      -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" "fuzz/corpus/$name" \
      > "$build/$name.log" 2>&1; then
    echo "fuzz_$name: $(grep -E '^stat::number_of_executed_units' "$build/$name.log" | awk '{print $2}') runs, clean"
  else
    echo "fuzz_$name FAILED: see $build/$name.log and $crashes/"
    tail -n 40 "$build/$name.log"
    return 1
  fi
}
export -f run_target
export build seconds
ls fuzz/corpus | xargs -P "$(nproc)" -I{} bash -c 'run_target {}'
