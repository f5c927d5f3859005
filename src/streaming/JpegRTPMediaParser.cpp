#include "streaming/JpegRTPMediaParser.h"

#include <algorithm>
#include <cstring>

#include "driver/IDriver.h"
#include "streaming/JpegStandardTables.h"
#include "streaming/RTPPacket.h"

namespace korvane {
namespace {

constexpr size_t kMainHeaderLength = 8;
constexpr size_t kRestartHeaderLength = 4;
constexpr size_t kTableHeaderLength = 4;
constexpr size_t kHeaderWorkSize = 1024;

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
        HuffmanTable(0x00, jpeg::kLuminanceDc);
        HuffmanTable(0x10, jpeg::kLuminanceAc);
        HuffmanTable(0x01, jpeg::kChrominanceDc);
        HuffmanTable(0x11, jpeg::kChrominanceAc);
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
    void HuffmanTable(uint8_t classAndId, const jpeg::HuffmanTableSpec& table)
    {
        Marker(0xC4);
        Word(static_cast<uint32_t>(3 + 16 + table.valueCount));
        Byte(classAndId);
        Bytes(table.counts, 16);
        Bytes(table.values, table.valueCount);
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
        if (IsRepeat(packet))
            return;
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
    const std::string& streamName = m_client->GetStreamName();
    const uint32_t allocationSize = static_cast<uint32_t>(m_frameBuffer.size()) + kHeaderRoom;
    CAllocatedFrame frame(m_driver->GetHostContext(), kFourCC, allocationSize, streamName);
    if (frame.Get() == nullptr)
        return;
    uint8_t* buffer = frame.Buffer();
    const size_t imageSize = buffer ? BuildImage(buffer, frame.Size()) : 0;
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
        jpeg::ScaledQuantisers(header.q, computedTables, computedTables + 64);
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
            jpeg::ScaledQuantisers(header.q, computedTables, computedTables + 64);
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
