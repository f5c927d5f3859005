#pragma once
// Per-driver record of the high-resolution codes and the picture sizes last
// seen on the streams; plain fields shared by all channels without a lock.
#include <cstdint>
#include <string>

namespace korvane {

struct PictureSize {
    uint32_t width = 0;
    uint32_t height = 0;
    bool IsKnown() const { return width != 0 && height != 0; }
};

// The camera's resolution code for a picture size.
uint32_t ResolutionCode(uint32_t width, uint32_t height);

class CStreamDefaults {
public:
    CStreamDefaults();

    // Stored as the Live size when the stream name contains "Live", else as the Rec size.
    void SetPictureSize(const PictureSize& size, const std::string& streamName);
    // The Live size when known, else the Rec size.
    PictureSize GetPictureSize() const;
    void ClearPictureSize(uint32_t streamRole);

    uint32_t m_highResCodes[3];
    PictureSize m_recSize;
    PictureSize m_liveSize;
};

}  // namespace korvane
