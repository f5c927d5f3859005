#!/usr/bin/env bash
# Generates the small sample streams the simulator serves and the tests decode.
# Run once; the results are committed under tests/data/media.
set -euo pipefail
out="$(dirname "$0")/../tests/data/media"
mkdir -p "$out"
common=(-hide_banner -loglevel error -y)
src=(-f lavfi -i "testsrc2=size=640x480:rate=25:duration=2")
# H.264 Annex B, parameter sets before every IDR, one IDR per second.
ffmpeg "${common[@]}" "${src[@]}" -c:v libx264 -profile:v main -pix_fmt yuv420p -g 25 -bf 0 \
  -x264-params "repeat-headers=1:slice-max-size=3000" -b:v 600k -f h264 "$out/sample640x480.h264"
# H.264 High profile as most cameras send it: 1080 lines coded as 1088 and cropped, scaling lists
# in the SPS and picture order count type 1. x264 writes neither, so its SPS is rewritten into that
# equivalent form (the pictures stay the same; the scaling lists are the defaults x264 used).
ffmpeg "${common[@]}" -f lavfi -i "testsrc2=size=1920x1080:rate=25" -frames:v 10 -c:v libx264 -profile:v high \
  -pix_fmt yuv420p -g 5 -bf 0 -x264-params "repeat-headers=1:cqm=jvt" -b:v 300k -f h264 "$out/sample1920x1080high.h264"
python3 "$(dirname "$0")/rewrite-h264-sps.py" "$out/sample1920x1080high.h264"
# Motion JPEG: baseline 4:2:0 JPEG pictures, one file of concatenated frames.
ffmpeg "${common[@]}" -f lavfi -i "testsrc2=size=320x240:rate=10:duration=2" -c:v mjpeg -pix_fmt yuvj420p \
  -q:v 5 -f mjpeg "$out/sample320x240.mjpeg"
# MPEG-4 visual elementary stream with VOL header.
ffmpeg "${common[@]}" -f lavfi -i "testsrc2=size=352x288:rate=10:duration=2" -c:v mpeg4 -g 10 -bf 0 \
  -b:v 300k -f m4v "$out/sample352x288.m4v"
# G.711 mu-law, 8 kHz mono, two seconds of tone.
ffmpeg "${common[@]}" -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=2" -ac 1 -c:a pcm_mulaw \
  -f mulaw "$out/sample8k.ulaw"
ls -l "$out"
