#!/usr/bin/env bash
# Checks the Windows builds of scripts/build-windows.sh: Tallowcam.dll for 32-bit Windows is a PE32
# i386 DLL that exports the host's entry points and imports system DLLs only, and the C host
# (AbiHost.exe) drives the 64-bit DLL under wine64 against camsim, which runs natively.
set -euo pipefail
cd "$(dirname "$0")/.."
dll=build/windows/Tallowcam.dll
headers="$(objdump -p "$dll")"
grep -q "file format pei-i386" <<<"$headers" || { echo "$dll is not a PE32 i386 DLL"; exit 1; }
bash tests/driver/check-exports.sh "$dll"
imports="$(sed -n 's/^\s*DLL Name: //p' <<<"$headers")"
if grep -viqE '^(kernel32|msvcrt|ws2_32|winhttp|ole32|oleaut32|version|winmm|advapi32|user32)\.dll$' <<<"$imports"; then
  echo "$dll imports more than system DLLs:" $imports
  exit 1
fi
echo "$dll imports system DLLs only:" $imports

# camsim from the native build (its RTSP server takes port 554 of its own loopback address).
bash scripts/setup.sh
[ -f build/dev/build.ninja ] || cmake -S . -B build/dev -G Ninja
cmake --build build/dev --target camsim
# The 64-bit loader directly: the wine launcher prefers a 32-bit loader, which needs 32-bit support.
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine
# Basic authentication: wine's WinHTTP has no Digest.
CAMSIM_AUTH=basic WINEDEBUG=-all WINEPREFIX="$PWD/build/wineprefix" bash tests/driver/abihost/run-abihost.sh \
  build/dev/tools/camsim/camsim 127.0.0.59 "$wine" build/windows64/AbiHost.exe Tallowcam.dll
