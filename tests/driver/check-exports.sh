#!/usr/bin/env bash
# Checks that the plug-in library (a shared object, or a Windows DLL) exports exactly the host's
# entry points.
set -euo pipefail
library="$1"
expected="CreateCapabilityQueryModule
CreateIPCapture
CreateIPCaptureEx
CreateIPCaptureEx2
CreateIPCaptureEx3
CreateIPCaptureEx4
CreateIPCaptureEx5
DeleteCapabilityQueryModule
DeleteIPCapture
DeleteIPCaptureEx
DeleteIPCaptureEx2
DeleteIPCaptureEx3
DeleteIPCaptureEx4
DeleteIPCaptureEx5
InitCapabilityQuery
StartCapabilityQuery
TerminateCapabilityQuery
UninitCapabilityQuery"
if [[ "$library" == *.dll ]]; then
  actual="$(objdump -p "$library" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p' | LC_ALL=C sort)"
else
  actual="$(nm -D --defined-only "$library" | awk '{ print $NF }' | LC_ALL=C sort)"
fi
if [ "$actual" != "$(echo "$expected" | LC_ALL=C sort)" ]; then
  echo "Exported symbols of $library differ from the expected entry points:"
  diff <(echo "$expected" | LC_ALL=C sort) <(echo "$actual") || true
  exit 1
fi
echo "$library exports the $(echo "$expected" | wc -l) expected entry points"
