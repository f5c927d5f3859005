#include "streaming/Mpeg4RTPMediaParser.h"

#include <cstring>

#include "driver/IDriver.h"
#include "streaming/RTPPacket.h"

namespace korvane {
namespace {

constexpr uint8_t kVisualObjectSequenceStart = 0xB0;
constexpr uint8_t kVopStart = 0xB6;
constexpr size_t kConfigOnlyLimit = 64;
constexpr uint8_t kFirstNonIntraByte = 64;  // vop_coding_type in the top two bits; 00 is an I-VOP

bool StartCodeAt(const uint8_t* bytes, size_t length, size_t offset, uint8_t code)
{
    return offset + 4 <= length && bytes[offset] == 0 && bytes[offset + 1] == 0 && bytes[offset + 2] == 1 &&
           bytes[offset + 3] == code;
}

}  // namespace

CMpeg4RTPMediaParser::CMpeg4RTPMediaParser(IDriver* driver, const std::string& headerLibrary)
    : CRTPMediaParser(driver)
{
    // A bare name is looked for beside the host executable first, as the host installs it there.
    const bool bareName = headerLibrary.find('/') == std::string::npos;
    const char* hostDirectory = driver->GetHostDirectory();
    const bool loaded = (bareName && hostDirectory != nullptr && m_headerLibrary.Load(hostDirectory + headerLibrary)) ||
                        m_headerLibrary.Load(headerLibrary);
    if (!loaded)
        return;
    void* function = m_headerLibrary.Symbol("ParseMpegHeader");
    if (function == nullptr)
        function = m_headerLibrary.Symbol("_ParseMpegHeader@16");
    if (function != nullptr)
        m_parseHeader = reinterpret_cast<ParseMpegHeaderFunction>(function);
}

void CMpeg4RTPMediaParser::Reset()
{
    m_waiting = true;
    m_keyFrame = false;
    m_width = 0;
    m_height = 0;
    m_frameBuffer.clear();
}

void CMpeg4RTPMediaParser::ProcessPacket(const CRTPPacket& packet)
{
    try {
        if (IsRepeat(packet))
            return;
        if (!IsInSequence(packet))
            Reset();
        HandlePayload(packet.Payload(), packet.PayloadLength(), packet.m_marker != 0, packet.m_timeStamp);
    } catch (...) {
        Reset();
    }
}

void CMpeg4RTPMediaParser::HandlePayload(const uint8_t* payload, size_t length, bool marker, uint32_t rtpTimeStamp)
{
    const size_t vopStart = TakeInBandConfiguration(payload, length);
    if (length > vopStart + 4 && StartCodeAt(payload, length, vopStart, kVopStart))
        StartFrame(payload[vopStart + 4] < kFirstNonIntraByte);
    if (m_waiting)
        return;
    Append(payload + vopStart, length - vopStart);
    if (!CheckBufferSize()) {
        Reset();
        return;
    }
    if (marker && !m_frameBuffer.empty()) {
        ProcessFrame(rtpTimeStamp);
        m_frameBuffer.clear();
    }
}

// Stores configuration headers at the start of the payload; returns where the VOP part begins.
size_t CMpeg4RTPMediaParser::TakeInBandConfiguration(const uint8_t* payload, size_t length)
{
    if (length < 5 || !StartCodeAt(payload, length, 0, kVisualObjectSequenceStart))
        return 0;
    for (size_t offset = 4; offset + 4 <= length; ++offset) {
        if (StartCodeAt(payload, length, offset, kVopStart)) {
            m_inBandConfig.assign(payload, payload + offset);
            return offset;
        }
    }
    if (length < kConfigOnlyLimit) {
        m_inBandConfig.assign(payload, payload + length);
        return length;
    }
    return 0;
}

void CMpeg4RTPMediaParser::StartFrame(bool intra)
{
    m_frameBuffer.clear();
    m_keyFrame = intra;
    if (!intra)
        return;
    const std::vector<uint8_t>& config = m_inBandConfig.empty() ? m_config : m_inBandConfig;
    m_frameBuffer.assign(config.begin(), config.end());
    m_waiting = false;
}

void CMpeg4RTPMediaParser::ProcessFrame(uint32_t rtpTimeStamp)
{
    ipcapture::IFrameAllocator* allocator = m_driver->GetHostContext();
    if (m_client == nullptr || m_frameBuffer.empty() || allocator == nullptr)
        return;
    const uint32_t length = static_cast<uint32_t>(m_frameBuffer.size());
    uint32_t fourCC = kFourCCOtherFrame;
    if (m_keyFrame) {
        int32_t width = 0;
        int32_t height = 0;
        if (m_parseHeader(m_frameBuffer.data(), length, &width, &height) <= 0 || width <= 0 || height <= 0) {
            Reset();
            return;
        }
        m_width = static_cast<uint32_t>(width);
        m_height = static_cast<uint32_t>(height);
        fourCC = kFourCCKeyFrame;
    }
    CAllocatedFrame frame(allocator, fourCC, length, m_client->GetStreamName());
    if (frame.Get() == nullptr)
        return;
    SetPictureSizeOn(frame.Get());
    frame.Get()->SetDataSize(length);
    frame.Get()->SetFourCC(fourCC);
    uint8_t* buffer = frame.Buffer();
    if (buffer == nullptr) {
        m_driver->DebugMessage(kLogError, "%s: Data copying error, device %s",
                               "korvane::CMpeg4RTPMediaParser::ProcessFrame", m_driver->GetDeviceName());
        Reset();
        return;
    }
    std::memcpy(buffer, m_frameBuffer.data(), length);
    if (!HandOver(frame.Get(), rtpTimeStamp))
        Reset();
}

}  // namespace korvane
