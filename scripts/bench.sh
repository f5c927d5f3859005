#!/usr/bin/env bash
# Installs what the benchmarks compare against (GStreamer) and measure with
# (valgrind), builds the release benchmarks and runs them; results go to
# build/bench/results. As root the runs get a private network namespace, so
# the camera simulator's port 554 cannot clash with tests running meanwhile.
# STREAM_SECONDS (default 10) sets each load run's measured window, REPEATS
# (default 5) how many times each load configuration runs, STREAM_COUNTS
# (default "1 8 32 64") which stream counts run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/bench
results=$build/results
bin=$build/tools/bench
seconds=${STREAM_SECONDS:-10}
repeats=${REPEATS:-5}
counts=${STREAM_COUNTS:-1 8 32 64}

run_parsers() {
  "$bin/bench_parsers" --benchmark_out="$results/parsers.json" --benchmark_out_format=json | tee "$results/parsers.txt"
  # Instructions per packet: callgrind counts only CSampleFeeder::FeedLoop, which runs iterations + 1 times.
  echo "| benchmark | instructions per packet |" > "$results/instructions.md"
  echo "|---|---|" >> "$results/instructions.md"
  for case in BM_H264FuA/Packets BM_H264FuA/Datagrams BM_H264FuA/Interleaved BM_H264SingleNal \
              BM_JpegTablesInBand/Packets BM_JpegTablesInBand/Datagrams BM_JpegTablesInBand/Interleaved \
              BM_JpegTablesFromQ BM_Mpeg4/Packets BM_Mpeg4/Datagrams BM_Mpeg4/Interleaved; do
    json=$(valgrind --tool=callgrind --toggle-collect='*FeedLoop*' --callgrind-out-file=/dev/null \
             --log-file="$results/callgrind.log" "$bin/bench_parsers" --benchmark_filter="^$case\$" \
             --benchmark_min_time=0.05 --benchmark_format=json)
    collected=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$results/callgrind.log")
    python3 -c 'import json,sys; b=json.loads(sys.argv[1])["benchmarks"][0]
print("| %s | %.0f |" % (sys.argv[2], int(sys.argv[3]) / ((b["iterations"] + 1) * b["packets/loop"])))' \
      "$json" "$case" "$collected" >> "$results/instructions.md"
  done
  cat "$results/instructions.md"
}

# One load run's table row; a failed run gets a row saying so, and the runs go on.
load_run() {
  local program=$1 transport=$2 n=$3
  declare -A receiver=([stream_load]=driver [gst_stream_load]=GStreamer) name=([udp]=UDP [tcp]=interleaved)
  "$bin/$program" $header --channels "$n" --transport "$transport" --seconds "$seconds" ||
    echo "| ${receiver[$program]} | ${name[$transport]} | $n | failed |"
  header=
}

# The driver and GStreamer side by side, each run against a camsim of its own:
# REPEATS rounds of every configuration (program, transport, stream counts),
# restricted to the counts in STREAM_COUNTS.
run_load() {
  local configurations=("stream_load udp 1 8 32 64" "gst_stream_load udp 1 8 32 64"
                        "stream_load tcp 1 8 32 64" "gst_stream_load tcp 8 64")
  header=--header
  for _ in $(seq "$repeats"); do
    for n in $counts; do
      for configuration in "${configurations[@]}"; do
        read -r program transport configured <<< "$configuration"
        if [[ " $configured " == *" $n "* ]]; then load_run "$program" "$transport" "$n"; fi
      done
    done
  done | tee "$results/stream_load.md"
  python3 scripts/load-summary.py "$results/stream_load.md" | tee "$results/stream_load-summary.md"
}

run() {
  [ "$(id -u)" = 0 ] && ip link set lo up
  mkdir -p "$results"
  run_parsers
  "$bin/bench_stop" --benchmark_out="$results/stop.json" --benchmark_out_format=json | tee "$results/stop.txt"
  run_load
}

if [ "${1:-}" = "--run" ]; then
  run
  exit
fi

packages=(libgstreamer1.0-dev pkgconf gstreamer1.0-plugins-base gstreamer1.0-plugins-good valgrind)
bash scripts/install-packages.sh "${packages[@]}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLOWCAM_BUILD_BENCHMARKS=ON
cmake --build "$build" -j "$(nproc)" --target bench_parsers bench_stop stream_load gst_stream_load camsim tallowcam
if [ "$(id -u)" = 0 ]; then
  unshare -n "$0" --run
else
  "$0" --run
fi
