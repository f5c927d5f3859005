#!/usr/bin/env bash
# Installs what the benchmarks compare against (GStreamer) and measure with
# (valgrind), builds the release benchmarks and runs them; results go to
# build/bench/results. As root the runs get a private network namespace, so
# the camera simulator's port 554 cannot clash with tests running meanwhile.
# STREAM_SECONDS (default 10) sets each load run's measured window.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/bench
results=$build/results
bin=$build/tools/bench
seconds=${STREAM_SECONDS:-10}

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

# CPU seconds (user + system) of a process so far.
cpu_seconds() {
  awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); print ($12 + $13) / hz }' "/proc/$1/stat"
}

# N gst-launch pipelines on the camera simulator's stream, as the driver asks for it.
run_gstreamer() {
  local n=$1 protocol=$2 port pids=() logs=()
  "$build/tools/camsim/camsim" --port 0 --rtsp-port 554 --h264-frame-bytes 16666 > "$results/camsim.out" &
  local camsim=$!
  sleep 1
  for i in $(seq "$n"); do
    logs+=("$results/gst-$i.log")
    gst-launch-1.0 rtspsrc location=rtsp://127.0.0.1:554/rtpstream/config5=u protocols="$protocol" \
      ! rtph264depay ! identity silent=false ! fakesink -v > "${logs[-1]}" 2>&1 &
    pids+=($!)
  done
  sleep 5
  local cpu0=0 cpu1=0 frames0=0 frames1=0
  for pid in "${pids[@]}"; do cpu0=$(echo "$cpu0 + $(cpu_seconds "$pid")" | bc -l); done
  frames0=$(cat "${logs[@]}" | grep -c "last-message = chain" || true)
  sleep "$seconds"
  for pid in "${pids[@]}"; do cpu1=$(echo "$cpu1 + $(cpu_seconds "$pid")" | bc -l); done
  frames1=$(cat "${logs[@]}" | grep -c "last-message = chain" || true)
  kill -INT "${pids[@]}"; wait "${pids[@]}" 2>/dev/null || true
  kill "$camsim"; wait "$camsim" 2>/dev/null || true
  rm -f "${logs[@]}"
  echo "| gst-launch-1.0 $protocol | $n | $(echo "($frames1 - $frames0) / $seconds" | bc -l | xargs printf %.1f) |" \
       "$(echo "100 * ($cpu1 - $cpu0) / $seconds / $n" | bc -l | xargs printf %.2f) % |"
}

run() {
  [ "$(id -u)" = 0 ] && ip link set lo up
  mkdir -p "$results"
  run_parsers
  "$bin/bench_stop" --benchmark_out="$results/stop.json" --benchmark_out_format=json | tee "$results/stop.txt"
  header=--header
  for transport in udp tcp; do
    for n in 1 8 32 64; do
      "$bin/stream_load" $header --channels "$n" --transport "$transport" --seconds "$seconds"
      header=
    done
  done | tee "$results/stream_load.md"
  {
    echo "| pipeline | streams | frames/s | CPU per stream |"
    echo "|---|---|---|---|"
    for n in 1 8 32; do run_gstreamer "$n" udp; done
    run_gstreamer 8 tcp
  } | tee "$results/gstreamer.md"
}

if [ "${1:-}" = "--run" ]; then
  run
  exit
fi

packages=(gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good valgrind bc)
bash scripts/install-packages.sh "${packages[@]}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLOWCAM_BUILD_BENCHMARKS=ON
cmake --build "$build" -j "$(nproc)" --target bench_parsers bench_stop stream_load camsim tallowcam
if [ "$(id -u)" = 0 ]; then
  unshare -n "$0" --run
else
  "$0" --run
fi
