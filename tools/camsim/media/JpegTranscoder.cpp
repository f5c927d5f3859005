#include "camsim/media/JpegTranscoder.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "streaming/JpegStandardTables.h"

namespace camsim::media {
namespace {

struct HuffmanSpec {
    uint8_t counts[16];
    std::vector<uint8_t> values;
};

HuffmanSpec StandardSpec(const korvane::jpeg::HuffmanTableSpec& table)
{
    HuffmanSpec spec{};
    std::copy(table.counts, table.counts + 16, spec.counts);
    spec.values.assign(table.values, table.values + table.valueCount);
    return spec;
}

// Canonical Huffman code of one table, for decoding and encoding.
class CHuffmanTable {
public:
    CHuffmanTable() = default;
    explicit CHuffmanTable(const HuffmanSpec& spec) : m_spec(spec)
    {
        uint32_t code = 0;
        size_t index = 0;
        for (int length = 1; length <= 16; ++length) {
            m_firstCode[length] = code;
            m_firstIndex[length] = index;
            for (int i = 0; i < spec.counts[length - 1] && index < spec.values.size(); ++i, ++index) {
                m_encodeCode[spec.values[index]] = code++;
                m_encodeLength[spec.values[index]] = static_cast<uint8_t>(length);
            }
            code <<= 1;
        }
    }
    // Symbol for the code read so far, or -1.
    int Match(uint32_t code, int length) const
    {
        const uint32_t count = m_spec.counts[length - 1];
        if (code >= m_firstCode[length] && code < m_firstCode[length] + count) {
            const size_t index = m_firstIndex[length] + code - m_firstCode[length];
            return index < m_spec.values.size() ? m_spec.values[index] : -1;
        }
        return -1;
    }
    uint32_t Code(uint8_t symbol) const { return m_encodeCode[symbol]; }
    uint8_t Length(uint8_t symbol) const { return m_encodeLength[symbol]; }

private:
    HuffmanSpec m_spec{};
    uint32_t m_firstCode[17] = {};
    size_t m_firstIndex[17] = {};
    uint32_t m_encodeCode[256] = {};
    uint8_t m_encodeLength[256] = {};
};

class CBitReader {
public:
    explicit CBitReader(const std::vector<uint8_t>& bytes) : m_bytes(&bytes) {}
    bool Bit(uint32_t& bit)
    {
        if (m_position >= m_bytes->size() * 8)
            return false;
        bit = ((*m_bytes)[m_position / 8] >> (7 - m_position % 8)) & 1;
        ++m_position;
        return true;
    }
    bool Bits(int count, uint32_t& value)
    {
        value = 0;
        for (int i = 0; i < count; ++i) {
            uint32_t bit;
            if (!Bit(bit))
                return false;
            value = (value << 1) | bit;
        }
        return true;
    }
    bool Symbol(const CHuffmanTable& table, int& symbol)
    {
        uint32_t code = 0;
        for (int length = 1; length <= 16; ++length) {
            uint32_t bit;
            if (!Bit(bit))
                return false;
            code = (code << 1) | bit;
            symbol = table.Match(code, length);
            if (symbol >= 0)
                return true;
        }
        return false;
    }

private:
    const std::vector<uint8_t>* m_bytes;
    size_t m_position = 0;
};

class CBitWriter {
public:
    explicit CBitWriter(std::vector<uint8_t>& out) : m_out(out) {}
    void Bits(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            m_byte = static_cast<uint8_t>((m_byte << 1) | ((value >> i) & 1));
            if (++m_count == 8)
                Flush();
        }
    }
    void PadToByte()
    {
        while (m_count != 0)
            Bits(1, 1);
    }

private:
    void Flush()
    {
        m_out.push_back(m_byte);
        if (m_byte == 0xFF)
            m_out.push_back(0x00);
        m_byte = 0;
        m_count = 0;
    }
    std::vector<uint8_t>& m_out;
    uint8_t m_byte = 0;
    int m_count = 0;
};

struct Component {
    uint8_t id = 0;
    uint8_t horizontal = 1;
    uint8_t vertical = 1;
    uint8_t quantTable = 0;
    uint8_t dcTable = 0;
    uint8_t acTable = 0;
};

struct SourcePicture {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t restartInterval = 0;
    std::array<std::array<uint8_t, 64>, 4> quant{};
    CHuffmanTable dc[4];
    CHuffmanTable ac[4];
    std::vector<Component> components;
    std::vector<std::vector<uint8_t>> intervals;  // unstuffed scan data between restart markers
};

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

bool ParseTables(const uint8_t* segment, size_t length, uint8_t marker, SourcePicture& picture)
{
    size_t i = 0;
    if (marker == 0xDB) {
        while (i + 65 <= length) {
            if ((segment[i] >> 4) != 0 || (segment[i] & 15) > 3)
                return false;  // 16-bit precision
            std::copy(segment + i + 1, segment + i + 65, picture.quant[segment[i] & 15].begin());
            i += 65;
        }
        return i == length;
    }
    while (i + 17 <= length) {
        HuffmanSpec spec{};
        std::copy(segment + i + 1, segment + i + 17, spec.counts);
        size_t total = 0;
        for (uint8_t count : spec.counts)
            total += count;
        if (i + 17 + total > length || (segment[i] & 15) > 3)
            return false;
        spec.values.assign(segment + i + 17, segment + i + 17 + total);
        (segment[i] >> 4 ? picture.ac : picture.dc)[segment[i] & 15] = CHuffmanTable(spec);
        i += 17 + total;
    }
    return i == length;
}

bool ParseFrameHeader(const uint8_t* segment, size_t length, SourcePicture& picture)
{
    if (length < 6 || segment[0] != 8)
        return false;
    picture.height = Read16(segment + 1);
    picture.width = Read16(segment + 3);
    const size_t count = segment[5];
    if (count != 3 || length < 6 + 3 * count)
        return false;
    for (size_t c = 0; c < count; ++c) {
        const uint8_t* p = segment + 6 + 3 * c;
        picture.components.push_back({p[0], static_cast<uint8_t>(p[1] >> 4), static_cast<uint8_t>(p[1] & 15),
                                      static_cast<uint8_t>(p[2] & 3), 0, 0});
    }
    return true;
}

bool ParseScanHeader(const uint8_t* segment, size_t length, SourcePicture& picture)
{
    if (length < 1 || segment[0] != picture.components.size() || length < 1 + 2 * picture.components.size())
        return false;
    for (size_t c = 0; c < picture.components.size(); ++c) {
        if (segment[1 + 2 * c] != picture.components[c].id)
            return false;
        picture.components[c].dcTable = segment[2 + 2 * c] >> 4 & 3;
        picture.components[c].acTable = segment[2 + 2 * c] & 3;
    }
    return true;
}

// Unstuffs the entropy-coded data from `begin`, split at restart markers.
void ReadScanData(const uint8_t* jpeg, size_t length, size_t begin, SourcePicture& picture)
{
    picture.intervals.assign(1, {});
    for (size_t i = begin; i < length; ++i) {
        if (jpeg[i] != 0xFF) {
            picture.intervals.back().push_back(jpeg[i]);
            continue;
        }
        if (i + 1 >= length)
            return;
        const uint8_t next = jpeg[++i];
        if (next == 0x00)
            picture.intervals.back().push_back(0xFF);
        else if (next >= 0xD0 && next <= 0xD7)
            picture.intervals.emplace_back();
        else
            return;
    }
}

bool ParsePicture(const uint8_t* jpeg, size_t length, SourcePicture& picture)
{
    if (length < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return false;
    size_t i = 2;
    while (i + 4 <= length) {
        if (jpeg[i] != 0xFF)
            return false;
        const uint8_t marker = jpeg[i + 1];
        const size_t segmentLength = Read16(jpeg + i + 2);
        if (segmentLength < 2 || i + 2 + segmentLength > length)
            return false;
        const uint8_t* segment = jpeg + i + 4;
        const size_t bodyLength = segmentLength - 2;
        bool ok = true;
        if (marker == 0xDB || marker == 0xC4)
            ok = ParseTables(segment, bodyLength, marker, picture);
        else if (marker == 0xC0 || marker == 0xC1)
            ok = ParseFrameHeader(segment, bodyLength, picture);
        else if (marker == 0xDD)
            ok = bodyLength == 2 && (picture.restartInterval = Read16(segment), true);
        else if (marker == 0xDA) {
            if (!ParseScanHeader(segment, bodyLength, picture))
                return false;
            ReadScanData(jpeg, length, i + 2 + segmentLength, picture);
            return true;
        } else if (marker >= 0xC2 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return false;  // not baseline
        if (!ok)
            return false;
        i += 2 + segmentLength;
    }
    return false;
}

uint8_t RtpType(const SourcePicture& picture, bool& ok)
{
    const Component& y = picture.components[0];
    ok = picture.components[1].horizontal == 1 && picture.components[1].vertical == 1 &&
         picture.components[2].horizontal == 1 && picture.components[2].vertical == 1 && y.horizontal == 2 &&
         (y.vertical == 1 || y.vertical == 2);
    return y.vertical == 2 ? 1 : 0;
}

int Requantise(int value, int fromStep, int toStep, int limit)
{
    const int scaled = value * fromStep;
    const int rounded = scaled >= 0 ? (scaled + toStep / 2) / toStep : -((-scaled + toStep / 2) / toStep);
    return std::clamp(rounded, -limit, limit);
}

int Extend(uint32_t bits, int size)
{
    if (size == 0)
        return 0;
    return bits < (1u << (size - 1)) ? static_cast<int>(bits) - (1 << size) + 1 : static_cast<int>(bits);
}

void PutValue(CBitWriter& writer, const CHuffmanTable& table, int run, int value)
{
    const int magnitude = std::abs(value);
    int size = 0;
    while ((magnitude >> size) != 0)
        ++size;
    const uint8_t symbol = static_cast<uint8_t>(run << 4 | size);
    writer.Bits(table.Code(symbol), table.Length(symbol));
    if (size > 0)
        writer.Bits(static_cast<uint32_t>(value >= 0 ? value : value + (1 << size) - 1), size);
}

// Decodes the picture's blocks and encodes them again with the standard
// tables and the target quantisation.
class CScanTranscoder {
public:
    CScanTranscoder(const SourcePicture& source, const RtpJpegPicture& target) : m_source(source), m_target(target)
    {
        m_dcTables[0] = CHuffmanTable(StandardSpec(korvane::jpeg::kLuminanceDc));
        m_dcTables[1] = CHuffmanTable(StandardSpec(korvane::jpeg::kChrominanceDc));
        m_acTables[0] = CHuffmanTable(StandardSpec(korvane::jpeg::kLuminanceAc));
        m_acTables[1] = CHuffmanTable(StandardSpec(korvane::jpeg::kChrominanceAc));
    }

    // Restart markers go into the output every `restartInterval` MCUs (0: none).
    bool Run(uint16_t restartInterval, std::vector<uint8_t>& scan)
    {
        const Component& y = m_source.components[0];
        const uint32_t mcuWidth = 8u * y.horizontal;
        const uint32_t mcuHeight = 8u * y.vertical;
        const uint32_t mcus = ((m_source.width + mcuWidth - 1) / mcuWidth) * ((m_source.height + mcuHeight - 1) / mcuHeight);
        size_t sourceInterval = 0;
        CBitReader reader(m_source.intervals.at(0));
        CBitWriter writer(scan);
        int sourceDc[3] = {};
        int targetDc[3] = {};
        uint32_t inSourceInterval = 0;
        uint32_t inOutputInterval = 0;
        uint32_t restarts = 0;
        for (uint32_t mcu = 0; mcu < mcus; ++mcu) {
            if (m_source.restartInterval != 0 && inSourceInterval == m_source.restartInterval) {
                if (++sourceInterval >= m_source.intervals.size())
                    return false;
                reader = CBitReader(m_source.intervals[sourceInterval]);
                std::fill(std::begin(sourceDc), std::end(sourceDc), 0);
                inSourceInterval = 0;
            }
            if (restartInterval != 0 && inOutputInterval == restartInterval) {
                writer.PadToByte();
                scan.push_back(0xFF);
                scan.push_back(static_cast<uint8_t>(0xD0 + restarts++ % 8));
                std::fill(std::begin(targetDc), std::end(targetDc), 0);
                inOutputInterval = 0;
            }
            for (size_t c = 0; c < 3; ++c) {
                const Component& component = m_source.components[c];
                for (int b = 0; b < component.horizontal * component.vertical; ++b) {
                    if (!Block(reader, writer, c, sourceDc[c], targetDc[c]))
                        return false;
                }
            }
            ++inSourceInterval;
            ++inOutputInterval;
        }
        writer.PadToByte();
        return true;
    }

private:
    bool Block(CBitReader& reader, CBitWriter& writer, size_t c, int& sourceDc, int& targetDc)
    {
        const Component& component = m_source.components[c];
        const std::array<uint8_t, 64>& from = m_source.quant[component.quantTable];
        const std::array<uint8_t, 64>& to = c == 0 ? m_target.lumaTable : m_target.chromaTable;
        int coefficients[64] = {};
        int size;
        uint32_t bits;
        if (!reader.Symbol(m_source.dc[component.dcTable], size) || size > 11 || !reader.Bits(size, bits))
            return false;
        sourceDc += Extend(bits, size);
        coefficients[0] = sourceDc;
        for (int k = 1; k < 64;) {
            int symbol;
            if (!reader.Symbol(m_source.ac[component.acTable], symbol))
                return false;
            const int run = symbol >> 4;
            size = symbol & 15;
            if (size == 0) {
                if (run != 15)
                    break;
                k += 16;
                continue;
            }
            k += run;
            if (k > 63 || !reader.Bits(size, bits))
                return false;
            coefficients[k++] = Extend(bits, size);
        }

        const size_t table = c == 0 ? 0 : 1;
        const int dc = Requantise(coefficients[0], from[0], to[0], 2047);
        PutValue(writer, m_dcTables[table], 0, dc - targetDc);
        targetDc = dc;
        int run = 0;
        for (int k = 1; k < 64; ++k) {
            const int value = Requantise(coefficients[k], from[k], to[k], 1023);
            if (value == 0) {
                ++run;
                continue;
            }
            for (; run >= 16; run -= 16)
                PutValue(writer, m_acTables[table], 15, 0);
            PutValue(writer, m_acTables[table], run, value);
            run = 0;
        }
        if (run > 0)
            PutValue(writer, m_acTables[table], 0, 0);
        return true;
    }

    const SourcePicture& m_source;
    const RtpJpegPicture& m_target;
    CHuffmanTable m_dcTables[2];
    CHuffmanTable m_acTables[2];
};

}  // namespace

bool TranscodeForRtp(const uint8_t* jpeg, size_t length, uint8_t q, uint16_t restartInterval, RtpJpegPicture& picture)
{
    SourcePicture source;
    if (!ParsePicture(jpeg, length, source) || source.width == 0 || source.height == 0 || source.width > 2040 ||
        source.height > 2040)
        return false;
    bool supported;
    picture.type = RtpType(source, supported);
    if (!supported)
        return false;
    picture.width = source.width;
    picture.height = source.height;
    picture.restartInterval = restartInterval != 0 ? restartInterval : source.restartInterval;
    if (q < 128) {
        korvane::jpeg::ScaledQuantisers(q, picture.lumaTable.data(), picture.chromaTable.data());
    } else {
        picture.lumaTable = source.quant[source.components[0].quantTable];
        picture.chromaTable = source.quant[source.components[1].quantTable];
    }
    picture.scan.clear();
    return CScanTranscoder(source, picture).Run(picture.restartInterval, picture.scan);
}

}  // namespace camsim::media
