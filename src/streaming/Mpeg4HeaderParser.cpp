#include "streaming/Mpeg4HeaderParser.h"

#include <cstddef>

namespace korvane {
namespace {

constexpr uint8_t kShapeRectangular = 0;
constexpr uint8_t kShapeGrayscale = 3;
constexpr uint32_t kAspectRatioExtended = 15;

class CBitReader {
public:
    CBitReader(const uint8_t* bytes, size_t length) : m_bytes(bytes), m_bitCount(length * 8) {}

    uint32_t Bits(int count)
    {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (m_position >= m_bitCount) {
                m_overrun = true;
                return 0;
            }
            value = (value << 1) | ((m_bytes[m_position / 8] >> (7 - m_position % 8)) & 1);
            ++m_position;
        }
        return value;
    }
    bool Overrun() const { return m_overrun; }

private:
    const uint8_t* m_bytes;
    size_t m_bitCount;
    size_t m_position = 0;
    bool m_overrun = false;
};

// Offset of the first byte after a video object layer start code (00 00 01 20..2F), or length.
size_t FindVideoObjectLayer(const uint8_t* bytes, size_t length)
{
    for (size_t i = 0; i + 4 <= length; ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && (bytes[i + 3] & 0xF0) == 0x20)
            return i + 4;
    }
    return length;
}

int BitsFor(uint32_t resolution)
{
    int bits = 1;
    while (bits < 16 && (1u << bits) < resolution)
        ++bits;
    return bits;
}

}  // namespace

int32_t ParseVideoObjectLayerSize(const uint8_t* bytes, uint32_t length, int32_t* width, int32_t* height)
{
    if (bytes == nullptr || width == nullptr || height == nullptr)
        return 0;
    const size_t start = FindVideoObjectLayer(bytes, length);
    CBitReader reader(bytes + start, length - start);
    reader.Bits(1);  // random_accessible_vol
    reader.Bits(8);  // video_object_type_indication
    uint32_t verid = 1;
    if (reader.Bits(1)) {  // is_object_layer_identifier
        verid = reader.Bits(4);
        reader.Bits(3);  // video_object_layer_priority
    }
    if (reader.Bits(4) == kAspectRatioExtended)
        reader.Bits(16);   // par_width, par_height
    if (reader.Bits(1)) {  // vol_control_parameters
        reader.Bits(2);    // chroma_format
        reader.Bits(1);    // low_delay
        if (reader.Bits(1)) {  // vbv_parameters
            reader.Bits(16);   // first_half_bit_rate, marker
            reader.Bits(16);   // latter_half_bit_rate, marker
            reader.Bits(16);   // first_half_vbv_buffer_size, marker
            reader.Bits(3);    // latter_half_vbv_buffer_size
            reader.Bits(12);   // first_half_vbv_occupancy, marker
            reader.Bits(16);   // latter_half_vbv_occupancy, marker
        }
    }
    const uint32_t shape = reader.Bits(2);
    if (shape == kShapeGrayscale && verid != 1)
        reader.Bits(4);  // video_object_layer_shape_extension
    reader.Bits(1);      // marker
    const uint32_t timeIncrementResolution = reader.Bits(16);
    reader.Bits(1);        // marker
    if (reader.Bits(1))    // fixed_vop_rate
        reader.Bits(BitsFor(timeIncrementResolution));
    if (shape != kShapeRectangular)
        return 0;
    reader.Bits(1);  // marker
    const uint32_t layerWidth = reader.Bits(13);
    reader.Bits(1);  // marker
    const uint32_t layerHeight = reader.Bits(13);
    if (reader.Overrun() || layerWidth == 0 || layerHeight == 0)
        return 0;
    *width = static_cast<int32_t>(layerWidth);
    *height = static_cast<int32_t>(layerHeight);
    return 1;
}

}  // namespace korvane
