#pragma once
// The audio format exchanged with the host, and G.711 mu-law at 8000 Hz,
// the only format the cameras send and receive.
#include <cstdint>

namespace korvane {

// The four characters "711M" in memory order.
constexpr uint32_t kFourCCMuLaw = 0x4D313137;

struct AudioFormat {
    uint32_t fourCC = 1;
    uint32_t sampleRate = 0;
    uint32_t bitRate = 0;
    uint8_t bitsPerSample = 0;
    uint8_t stereo = 0;

    static AudioFormat MuLaw8k() { return AudioFormat{kFourCCMuLaw, 8000, 64000, 16, 0}; }
};

}  // namespace korvane
