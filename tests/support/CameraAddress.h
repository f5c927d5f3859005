#pragma once
// Where a test program's simulated cameras listen when the driver must reach
// their RTSP server on port 554. Each such program has a loopback address of
// its own, so that programs running side by side never meet there, and none
// uses 127.0.0.1, whose port 554 may belong to another program (a developer's
// own RTSP server). The tests of one program take turns through a ctest
// resource lock. The RTP channel test's camera sends from an address of its
// own too: the channels of programs side by side share one port range.
// The C host's runs (tests/driver/abihost) keep 127.0.0.58 for the suite and
// 127.0.0.59 for the Windows build script.
#include <cstdint>
#include <string>

namespace korvane::test {

enum class CameraSite : uint8_t { Faults = 54, Video = 55, Cli = 56, Channels = 57 };

inline std::string CameraAddress(CameraSite site)
{
    return "127.0.0." + std::to_string(static_cast<unsigned>(site));
}

}  // namespace korvane::test
