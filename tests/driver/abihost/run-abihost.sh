#!/usr/bin/env bash
# Runs the ABI host against camsim: starts camsim on ADDRESS (its RTSP server on port 554, where
# the driver connects, and a free HTTP port), runs HOST_COMMAND with the camera's address, port,
# credentials, model and the numbered parameters a probe of camsim yields, then stops camsim.
# CAMSIM_AUTH: the authentication camsim asks for (digest by default).
# usage: run-abihost.sh CAMSIM ADDRESS HOST_COMMAND... (the command ends with the plug-in's path)
set -euo pipefail
camsim="$1" address="$2"
shift 2
log="$(mktemp)"
"$camsim" --port 0 --address "$address" --user root --password abi-secret --auth "${CAMSIM_AUTH:-digest}" >"$log" 2>&1 &
camsim_pid=$!
trap 'kill $camsim_pid 2>/dev/null || true; wait $camsim_pid 2>/dev/null || true; rm -f "$log"' EXIT
port=""
for _ in $(seq 100); do
  port="$(sed -n 's/^camsim: http on [^:]*:\([0-9]*\),.*/\1/p' "$log")"
  if [ -n "$port" ] || ! kill -0 $camsim_pid 2>/dev/null; then break; fi
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "camsim did not start:"
  cat "$log"
  exit 1
fi
"$@" "$address" "$port" root abi-secret VB-H45 0 "Ver. 1.3.0" 3 00:1e:8f:12:34:56 \
  "Pan=1; Tilt=1; Zoom=1; Focus=1; Iris=1; PanSpeed=1-150;TiltSpeed=1-150;ZoomSpeed=1-7;IrisRange=1-100;Center=1; Unzoom=0; AreaZoom=1; Preset=20" \
  0.00,0.00 5
