#include "streaming/JpegRTPMediaParser.h"

#include <algorithm>
#include <cstring>

#include "driver/IDriver.h"
#include "streaming/RTPPacket.h"

namespace korvane {
namespace {

constexpr size_t kMainHeaderLength = 8;
constexpr size_t kRestartHeaderLength = 4;
constexpr size_t kTableHeaderLength = 4;
constexpr size_t kHeaderWorkSize = 1024;

// ITU-T T.81 Annex K.1 and K.2, in natural order.
const uint8_t kLuminanceQuantiser[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,  14, 13, 16, 24,  40,  57,
    69, 56, 14, 17, 22,  29,  51,  87,  80, 62, 18, 22, 37,  56,  68,  109, 103, 77, 24, 35,  55,  64,
    81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const uint8_t kChrominanceQuantiser[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                           24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                           99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                           99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
const uint8_t kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                             41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                             30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// ITU-T T.81 Annex K.3: code counts per length, then values.
const uint8_t kLuminanceDcCounts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const uint8_t kChrominanceDcCounts[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
const uint8_t kDcValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
const uint8_t kLuminanceAcCounts[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
const uint8_t kLuminanceAcValues[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71, 0x14,
    0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09,
    0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a,
    0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65,
    0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88,
    0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9,
    0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea,
    0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
const uint8_t kChrominanceAcCounts[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
const uint8_t kChrominanceAcValues[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13, 0x22, 0x32,
    0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16,
    0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39,
    0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86,
    0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7,
    0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8,
    0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9,
    0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

struct SofComponent {
    uint8_t id;
    uint8_t sampling;
    uint8_t table;
};

struct RtpJpegHeader {
    uint32_t fragmentOffset = 0;
    uint8_t type = 0;
    uint8_t q = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    bool HasRestartHeader() const { return type >= 64 && type <= 127; }
};

uint16_t Read16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]); }

RtpJpegHeader ReadMainHeader(const uint8_t* bytes)
{
    RtpJpegHeader header;
    header.fragmentOffset = static_cast<uint32_t>(bytes[1] << 16 | bytes[2] << 8 | bytes[3]);
    header.type = bytes[4];
    header.q = bytes[5];
    header.width = (bytes[6] ? bytes[6] : 256u) * 8;
    header.height = (bytes[7] ? bytes[7] : 256u) * 8;
    return header;
}

// The standard tables scaled for a Q below 128, zigzag order: luminance then chrominance.
void TablesFromQ(uint8_t q, uint8_t tables[128])
{
    const int quality = std::clamp<int>(q, 1, 99);
    const int factor = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    for (int i = 0; i < 64; ++i) {
        tables[i] = static_cast<uint8_t>(std::clamp((kLuminanceQuantiser[kZigzag[i]] * factor + 50) / 100, 1, 255));
        tables[64 + i] = static_cast<uint8_t>(std::clamp((kChrominanceQuantiser[kZigzag[i]] * factor + 50) / 100, 1, 255));
    }
}

// Writes JPEG marker segments into a bounded buffer.
class CJpegHeaderWriter {
public:
    CJpegHeaderWriter(uint8_t* out, size_t capacity) : m_out(out), m_capacity(capacity) {}

    size_t Size() const { return m_size; }
    bool Overflowed() const { return m_overflow; }

    void Bytes(const uint8_t* bytes, size_t length)
    {
        if (m_overflow || length > m_capacity - m_size) {
            m_overflow = true;
            return;
        }
        std::memcpy(m_out + m_size, bytes, length);
        m_size += length;
    }
    void Byte(uint8_t value) { Bytes(&value, 1); }
    void Word(uint32_t value)
    {
        Byte(static_cast<uint8_t>(value >> 8));
        Byte(static_cast<uint8_t>(value));
    }
    void Marker(uint8_t marker)
    {
        Byte(0xFF);
        Byte(marker);
    }

    void StartOfImage() { Marker(0xD8); }
    void Jfif()
    {
        static const uint8_t kApp0[] = {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 1, 1, 0, 0, 1, 0, 1, 0, 0};
        Bytes(kApp0, sizeof kApp0);
    }
    void RestartInterval(uint16_t interval)
    {
        Marker(0xDD);
        Word(4);
        Word(interval);
    }
    void QuantisationTable(uint8_t id, const uint8_t* table, size_t length)
    {
        Marker(0xDB);
        Word(static_cast<uint32_t>(length + 3));
        Byte(id);
        Bytes(table, length);
    }
    void FrameHeader(uint32_t width, uint32_t height, const SofComponent (&components)[3])
    {
        Marker(0xC0);
        Word(17);
        Byte(8);
        Word(height);
        Word(width);
        Byte(3);
        for (const SofComponent& component : components) {
            Byte(component.id);
            Byte(component.sampling);
            Byte(component.table);
        }
    }
    void StandardHuffmanTables()
    {
        HuffmanTable(0x00, kLuminanceDcCounts, kDcValues, sizeof kDcValues);
        HuffmanTable(0x10, kLuminanceAcCounts, kLuminanceAcValues, sizeof kLuminanceAcValues);
        HuffmanTable(0x01, kChrominanceDcCounts, kDcValues, sizeof kDcValues);
        HuffmanTable(0x11, kChrominanceAcCounts, kChrominanceAcValues, sizeof kChrominanceAcValues);
    }
    void ScanHeader(const uint8_t (&ids)[3])
    {
        Marker(0xDA);
        Word(12);
        Byte(3);
        Byte(ids[0]);
        Byte(0x00);
        Byte(ids[1]);
        Byte(0x11);
        Byte(ids[2]);
        Byte(0x11);
        Byte(0x00);
        Byte(0x3F);
        Byte(0x00);
    }

private:
    void HuffmanTable(uint8_t classAndId, const uint8_t (&counts)[16], const uint8_t* values, size_t valueCount)
    {
        Marker(0xC4);
        Word(static_cast<uint32_t>(3 + 16 + valueCount));
        Byte(classAndId);
        Bytes(counts, 16);
        Bytes(values, valueCount);
    }

    uint8_t* m_out;
    size_t m_capacity;
    size_t m_size = 0;
    bool m_overflow = false;
};

// Copies the scan data behind the headers and closes the image with EOI when
// the camera did not send one; the image size, or 0 when it does not fit.
size_t FinishImage(CJpegHeaderWriter& writer, const uint8_t* data, size_t length)
{
    writer.Bytes(data, length);
    if (length < 2 || data[length - 2] != 0xFF || data[length - 1] != 0xD9)
        writer.Marker(0xD9);
    return writer.Overflowed() ? 0 : writer.Size();
}

}  // namespace

CJpegRTPMediaParser::CJpegRTPMediaParser(IDriver* driver) : CRTPMediaParser(driver) {}

void CJpegRTPMediaParser::Reset()
{
    m_waiting = true;
    m_width = 0;
    m_height = 0;
    m_frameBuffer.clear();
}

void CJpegRTPMediaParser::ProcessPacket(const CRTPPacket& packet)
{
    try {
        if (!IsInSequence(packet))
            Reset();
        HandlePayload(packet.Payload(), packet.PayloadLength());
        if (!m_waiting && packet.m_marker && !m_frameBuffer.empty()) {
            ProcessFrame(packet.m_timeStamp);
            m_frameBuffer.clear();
        }
    } catch (...) {
        Reset();
    }
}

void CJpegRTPMediaParser::HandlePayload(const uint8_t* payload, size_t length)
{
    if (length < 4) {
        Reset();
        return;
    }
    const uint32_t fragmentOffset = static_cast<uint32_t>(payload[1] << 16 | payload[2] << 8 | payload[3]);
    if (fragmentOffset == 0) {
        if (length > 11) {
            const uint8_t type = payload[4];
            m_headerLength = type >= 64 && type <= 127 ? kMainHeaderLength + kRestartHeaderLength : kMainHeaderLength;
        }
        m_frameBuffer.assign(payload, payload + length);  // a new picture replaces an unfinished one
        m_waiting = false;
    } else if (m_waiting) {
        Reset();
        return;
    } else if (length > m_headerLength) {
        Append(payload + m_headerLength, length - m_headerLength);
    }
    if (!CheckBufferSize())
        Reset();
}

void CJpegRTPMediaParser::ProcessFrame(uint32_t rtpTimeStamp)
{
    if (m_client == nullptr || m_frameBuffer.empty())
        return;
    const std::string streamName = m_client->GetStreamName();
    const uint32_t allocationSize = static_cast<uint32_t>(m_frameBuffer.size()) + kHeaderRoom;
    CAllocatedFrame frame(m_driver->GetHostContext(), kFourCC, allocationSize, streamName);
    if (frame.Get() == nullptr)
        return;
    uint8_t* buffer = frame.Get()->GetBuffer();
    const size_t imageSize = buffer ? BuildImage(buffer, frame.Get()->GetBufferSize()) : 0;
    if (imageSize == 0) {
        Reset();
        return;
    }
    StorePictureSize(streamName);
    frame.Get()->SetDataSize(static_cast<uint32_t>(imageSize));
    SetPictureSizeOn(frame.Get());
    if (!HandOver(frame.Get(), rtpTimeStamp))
        Reset();
}

size_t CJpegRTPMediaParser::BuildImage(uint8_t* out, size_t capacity)
{
    const uint8_t* frame = m_frameBuffer.data();
    const size_t length = m_frameBuffer.size();
    if (length <= kMainHeaderLength) {
        Reset();
        return 0;
    }
    const RtpJpegHeader header = ReadMainHeader(frame);
    m_width = header.width;
    m_height = header.height;

    size_t dataStart = kMainHeaderLength;
    uint16_t restartInterval = 0;
    if (header.HasRestartHeader()) {
        if (length < kMainHeaderLength + kRestartHeaderLength) {
            Reset();
            return 0;
        }
        restartInterval = Read16(frame + kMainHeaderLength);
        dataStart += kRestartHeaderLength;
    }
    CJpegHeaderWriter writer(out, capacity);
    uint8_t computedTables[128];

    if (header.q < 128) {
        TablesFromQ(header.q, computedTables);
        const uint8_t baseType = header.HasRestartHeader() ? header.type - 64 : header.type;
        writer.StartOfImage();
        if (restartInterval != 0)
            writer.RestartInterval(restartInterval);
        writer.QuantisationTable(0, computedTables, 64);
        writer.QuantisationTable(1, computedTables + 64, 64);
        writer.FrameHeader(header.width, header.height,
                           {{0, static_cast<uint8_t>(baseType == 0 ? 0x21 : 0x22), 0}, {1, 0x11, 1}, {2, 0x11, 1}});
        writer.StandardHuffmanTables();
        writer.ScanHeader({0, 1, 2});
        if (length <= writer.Size() || length <= dataStart) {
            Reset();
            return 0;
        }
    } else {
        if (header.fragmentOffset != 0 || length < dataStart + kTableHeaderLength) {
            Reset();
            return 0;
        }
        const uint8_t mbz = frame[dataStart];
        size_t tableLength = Read16(frame + dataStart + 2);
        dataStart += kTableHeaderLength;
        const uint8_t* tables = frame + dataStart;
        if (mbz != 0 || tableLength == 0) {
            TablesFromQ(header.q, computedTables);
            tables = computedTables;
            tableLength = sizeof computedTables;
        } else {
            if (tableLength > length - dataStart) {
                Reset();
                return 0;
            }
            dataStart += tableLength;
        }
        const size_t estimatedHeaders = (tableLength & ~size_t{1}) + 495 + (restartInterval ? 6 : 0);
        if (estimatedHeaders > kHeaderWorkSize || dataStart >= length) {
            Reset();
            return 0;
        }
        const bool twoTables = tableLength > 64;
        const uint8_t chromaTable = twoTables ? 1 : 0;
        writer.StartOfImage();
        writer.Jfif();
        if (restartInterval != 0)
            writer.RestartInterval(restartInterval);
        if (twoTables) {
            writer.QuantisationTable(0, tables, tableLength / 2);
            writer.QuantisationTable(1, tables + tableLength / 2, tableLength - tableLength / 2);
        } else {
            writer.QuantisationTable(0, tables, tableLength);
        }
        writer.FrameHeader(header.width, header.height,
                           {{1, static_cast<uint8_t>(header.type % 2 == 0 ? 0x21 : 0x22), 0},
                            {2, 0x11, chromaTable},
                            {3, 0x11, chromaTable}});
        writer.StandardHuffmanTables();
        writer.ScanHeader({1, 2, 3});
    }
    const size_t imageSize = FinishImage(writer, frame + dataStart, length - dataStart);
    if (imageSize == 0)
        Reset();
    return imageSize;
}

}  // namespace korvane
