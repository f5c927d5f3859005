#include "streaming/RTPMediaParser.h"

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "driver/StreamDefaults.h"
#include "streaming/RTPPacket.h"
#include "streaming/SdpInfo.h"

namespace korvane {

uint32_t FrameSizeClass(uint32_t width, uint32_t height)
{
    if (width < 200)
        return 1;
    if (width < 400)
        return 2;
    if (width >= 1024)
        return 4;
    return width > 2 * height ? 3 : 4;
}

CAllocatedFrame::CAllocatedFrame(ipcapture::IFrameAllocator* allocator, uint32_t fourCC, uint32_t size,
                                 const std::string& streamName)
    : m_allocator(allocator),
      m_size(size),
      m_frame(allocator ? allocator->AllocateFrame(fourCC, size, streamName.c_str()) : nullptr)
{
}

CAllocatedFrame::~CAllocatedFrame()
{
    if (m_frame != nullptr)
        m_allocator->ReleaseFrame(m_frame);
}

CRTPMediaParser::CRTPMediaParser(IDriver* driver) : m_driver(driver) {}

CRTPMediaParser::~CRTPMediaParser() = default;

void CRTPMediaParser::SetParameterSets(const SdpInfo& sdp)
{
    m_sequenceParameterSet = sdp.sequenceParameterSet;
    m_pictureParameterSet = sdp.pictureParameterSet;
    m_config = sdp.config;
}

bool CRTPMediaParser::IsRepeat(const CRTPPacket& packet) const
{
    return !m_firstPacket && packet.m_sequenceNumber == m_lastSequenceNumber;
}

bool CRTPMediaParser::IsInSequence(const CRTPPacket& packet)
{
    const bool inSequence = m_firstPacket || packet.m_sequenceNumber == static_cast<uint16_t>(m_lastSequenceNumber + 1);
    m_firstPacket = false;
    m_lastSequenceNumber = packet.m_sequenceNumber;
    return inSequence;
}

bool CRTPMediaParser::CheckBufferSize()
{
    if (m_frameBuffer.size() <= kMaxFrameSize)
        return true;
    const DEVICE_INFO* device = m_driver->GetDeviceInfo();
    m_driver->DebugMessage(kLogError, "%s: Frame buffer overflow detected, device %s:%u",
                           "korvane::CRTPMediaParser::CheckBufferSize", device->address.c_str(), device->port);
    return false;
}

void CRTPMediaParser::StorePictureSize(const std::string& streamName)
{
    PictureSize size;
    size.width = m_width;
    size.height = m_height;
    m_driver->GetStreamDefaults()->SetPictureSize(size, streamName);
}

bool CRTPMediaParser::HandOver(ipcapture::IHostFrame* frame, uint32_t rtpTimeStamp)
{
    if (m_client == nullptr)
        return false;
    SYSTEMTIME time{};
    m_client->GetFrameTime(rtpTimeStamp, time);
    frame->SetTime(&time);
    return m_client->FrameReady(frame);
}

void CRTPMediaParser::SetPictureSizeOn(ipcapture::IHostFrame* frame) const
{
    frame->SetWidth(m_width);
    frame->SetHeight(m_height);
    frame->SetSizeClass(FrameSizeClass(m_width, m_height));
}

}  // namespace korvane
