#pragma once
// Per-driver record of the high-resolution codes and the picture sizes last
// seen on the streams; shared by all channels without a lock.
#include <atomic>
#include <cstdint>
#include <string>

namespace korvane {

struct PictureSize {
    uint32_t width = 0;
    uint32_t height = 0;
    bool IsKnown() const { return width != 0 && height != 0; }
};

// A picture size kept as one 64-bit value, so that a reader never pairs the
// width of one size with the height of another.
class CAtomicPictureSize {
public:
    void Store(const PictureSize& size) { m_packed = uint64_t{size.width} << 32 | size.height; }
    PictureSize Load() const
    {
        const uint64_t packed = m_packed;
        return {static_cast<uint32_t>(packed >> 32), static_cast<uint32_t>(packed)};
    }

private:
    std::atomic<uint64_t> m_packed{0};
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
    CAtomicPictureSize m_recSize;
    CAtomicPictureSize m_liveSize;
};

}  // namespace korvane
