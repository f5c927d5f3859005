#include "FuzzEntries.h"

#include <algorithm>
#include <memory>

#include "capabilities/CameraReply.h"
#include "onvif/OnvifPtzRecords.h"
#include "onvif/OnvifRecords.h"
#include "onvif/XmlParser.h"
#include "runtime/Configuration.h"
#include "streaming/H264RTPMediaParser.h"
#include "streaming/IRTSPClientUser.h"
#include "streaming/JpegRTPMediaParser.h"
#include "streaming/Mpeg4RTPMediaParser.h"
#include "streaming/RTPPacket.h"
#include "streaming/RTSPClientSettings.h"
#include "streaming/RTSPResponseParser.h"
#include "streaming/RTSPStreamParser.h"
#include "streaming/SDPResponseParser.h"
#include "support/FakeDriver.h"
#include "support/FrameHost.h"
#include "support/ScratchDirectory.h"

namespace korvane::fuzz {

namespace {

// Takes an input apart front to back; past its end every read gives zeros.
class InputReader {
public:
    InputReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool AtEnd() const { return m_at >= m_size; }
    uint8_t Byte() { return AtEnd() ? 0 : m_data[m_at++]; }
    uint16_t Word() { return static_cast<uint16_t>(Byte() << 8 | Byte()); }
    std::vector<uint8_t> Bytes(size_t count)
    {
        count = std::min(count, m_size - std::min(m_at, m_size));
        std::vector<uint8_t> bytes(m_data + m_at, m_data + m_at + count);
        m_at += count;
        return bytes;
    }
    std::string Rest()
    {
        const std::vector<uint8_t> bytes = Bytes(m_size);
        return std::string(bytes.begin(), bytes.end());
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

std::string Text(const uint8_t* data, size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Only 200 and 401 answers can succeed.
bool RtspResponse(const uint8_t* data, size_t size)
{
    InputReader input(data, size);
    const uint32_t method = input.Byte() % 7;
    CRTSPResponseParser parser;
    return !parser.Parse(method, input.Rest()) || parser.m_statusCode == 200 || parser.m_statusCode == 401;
}

// The description, then the H.264 parser given its parameter sets.
bool Sdp(const uint8_t* data, size_t size)
{
    CSDPResponseParser parser;
    if (!parser.Parse(Text(data, size)))
        return true;
    test::FakeDriver driver;
    CH264RTPMediaParser h264(&driver);
    h264.SetParameterSets(parser.m_sdpInfo);
    return true;
}

class IgnoringRtspUser : public IRTSPClientUser {
public:
    bool SdpInfoReceived(const SdpInfo&) override { return true; }
    void InterleavedPacketReceived(const CRTPPacket& packet) override { m_payloadBytes += packet.PayloadLength(); }
    void SessionClosed() override {}
    size_t PayloadBytes() const { return m_payloadBytes; }

private:
    size_t m_payloadBytes = 0;
};

// The connection's byte stream, read in pieces whose lengths the input
// chooses; no packet carries more payload than the stream held.
bool Interleaved(const uint8_t* data, size_t size)
{
    InputReader input(data, size);
    IgnoringRtspUser user;
    CRTSPStreamParser parser(&user);
    size_t streamBytes = 0;
    while (!input.AtEnd()) {
        const std::vector<uint8_t> piece = input.Bytes(1 + input.Word() % 4096);
        std::copy(piece.begin(), piece.end(), parser.ReceiveSpace(piece.size()));
        parser.Process(piece.size());
        streamBytes += piece.size();
    }
    return user.PayloadBytes() <= streamBytes;
}

// The payload lies behind the 12-byte header.
bool Rtp(const uint8_t* data, size_t size)
{
    CRTPPacket packet;
    return !packet.Parse(data, size) || packet.PayloadLength() + 12u <= size;
}

// The channel's side of a payload parser: frames go to the host.
class HostParserClient : public IMediaParserClient {
public:
    explicit HostParserClient(ipcapture::IFrameSink& sink) : m_sink(sink) {}
    bool FrameReady(ipcapture::IHostFrame* frame) override { return m_sink.OnFrame(frame); }
    void GetRequestedSize(uint32_t& width, uint32_t& height) override { width = height = 0; }
    const std::string& GetStreamName() override { return m_streamName; }
    void GetFrameTime(uint32_t, SYSTEMTIME& time) override { time = SYSTEMTIME{}; }

private:
    ipcapture::IFrameSink& m_sink;
    const std::string m_streamName = "fuzz";
};

// Packets of a payload format: each a 2-byte length, a byte whose low bit is
// the marker and whose other bits step the sequence number and time stamp,
// then the payload. Every frame the parser took from the host goes back.
template <typename Parser>
bool Payload(const uint8_t* data, size_t size)
{
    test::FakeDriver driver;
    test::CFrameHost host;
    host.SetKeepFrames(false);
    driver.allocator = &host;
    Parser parser(&driver);
    HostParserClient client(host);
    parser.SetClient(&client);
    InputReader input(data, size);
    uint16_t sequenceNumber = 0;
    uint32_t timeStamp = 0;
    while (!input.AtEnd()) {
        const uint16_t length = input.Word();
        const uint8_t control = input.Byte();
        CRTPPacket packet;
        packet.m_marker = control & 1;
        sequenceNumber = static_cast<uint16_t>(sequenceNumber + 1 + ((control >> 1) & 3) - ((control >> 3) & 1));
        timeStamp += (control >> 4) * 3000u;
        packet.m_sequenceNumber = sequenceNumber;
        packet.m_timeStamp = timeStamp;
        packet.m_payloadType = 96;
        const std::vector<uint8_t> payload = input.Bytes(length);
        packet.SetPayload(payload.data(), payload.size());
        parser.ProcessPacket(packet);
    }
    return host.OutstandingFrames() == 0;
}

// A value ends at its line's end.
bool CameraReply(const uint8_t* data, size_t size)
{
    InputReader input(data, size);
    const std::string key(1 + input.Byte() % 4, 'a');
    const std::string reply = input.Rest();
    bool valuesWithinLines = true;
    for (const char* separator : {kInfoSeparator, kSettingsSeparator}) {
        const std::string value = GetValue(reply, key, separator, kReplyLineSeparators);
        valuesWithinLines = valuesWithinLines && value.find_first_of(kReplyLineSeparators) == std::string::npos;
        GetUIntValue(reply, key, separator, kReplyLineSeparators);
    }
    ParseSettingsType(reply);
    return valuesWithinLines && Split(reply, ',').size() == 1 + static_cast<size_t>(std::count(reply.begin(), reply.end(), ','));
}

// A SOAP reply read as each of the records the ONVIF clients take from one.
bool SoapReply(const uint8_t* data, size_t size)
{
    CXmlParser reply;
    if (!reply.LoadFromText(Text(data, size)))
        return true;
    const std::string body = "SOAP-ENV:Envelope/SOAP-ENV:Body/";
    Onvif::MediaProfile profile;
    profile.Read(reply, body + "trt:GetProfileResponse/trt:Profile");
    Onvif::VideoEncoderConfiguration encoder;
    encoder.Read(reply, body + "trt:GetVideoEncoderConfigurationResponse/trt:Configuration");
    Onvif::PTZConfiguration ptz;
    ptz.Read(reply, body + "tptz:GetConfigurationsResponse/tptz:PTZConfiguration");
    Onvif::PresetNode preset;
    preset.Read(reply, body + "tptz:GetPresetsResponse/tptz:Preset");
    reply.GetText(body + "SOAP-ENV:Fault/SOAP-ENV:Reason/SOAP-ENV:Text");
    return true;
}

// The configuration file beside the host, as a channel reads it: whatever
// it says, the driver ends up with a transport it knows.
bool ConfigurationFile(const uint8_t* data, size_t size)
{
    static const test::ScratchDirectory directory;
    directory.WriteFile("Tallowcam.xml", Text(data, size));
    DEVICE_INFO device;
    device.address = "127.0.0.1";
    const CConfiguration configuration("Tallowcam", directory.Path(), device);
    const uint32_t rtpMode = configuration.GetSettings().rtpMode;
    configuration.GetBitrateMode();
    const uint32_t streaming = CConfiguration::GetStreamingMode("Tallowcam", directory.Path());
    return (rtpMode == kRtpModeDefault || rtpMode == kRtpModeOverRtsp) && streaming <= kStreamingMulticast;
}

}  // namespace

const std::vector<FuzzTarget>& FuzzTargets()
{
    static const std::vector<FuzzTarget> targets = {
        {"rtsp_response", RtspResponse},
        {"sdp", Sdp},
        {"interleaved", Interleaved},
        {"rtp", Rtp},
        {"h264", Payload<CH264RTPMediaParser>},
        {"jpeg", Payload<CJpegRTPMediaParser>},
        {"mpeg4", Payload<CMpeg4RTPMediaParser>},
        {"camera_reply", CameraReply},
        {"soap_reply", SoapReply},
        {"configuration", ConfigurationFile},
    };
    return targets;
}

FuzzEntry FindFuzzEntry(const std::string& name)
{
    for (const FuzzTarget& target : FuzzTargets()) {
        if (target.name == name)
            return target.entry;
    }
    return nullptr;
}

}  // namespace korvane::fuzz
