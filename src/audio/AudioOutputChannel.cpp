#include "audio/AudioOutputChannel.h"

#include <algorithm>

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "runtime/RequestHelpers.h"
#include "runtime/StringFormat.h"

namespace korvane {

namespace {

const char kPrepareRequest[] = "/admin/-set-?em=2&pt=8&hb10=1";
const char kUploadPath[] = "/-wvaudio-01-/recv?t=win-a-100&l=100";
constexpr uint32_t kPieceHeaderBytes = 6;
constexpr size_t kShortestReply = 9;

void Append(std::vector<uint8_t>& body, const std::string& text)
{
    body.insert(body.end(), text.begin(), text.end());
}

void AppendBigEndian(std::vector<uint8_t>& body, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        body.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

uint32_t ParseAudioSessionNumber(const std::vector<uint8_t>& reply)
{
    for (size_t at = 0; at + 8 < reply.size(); ++at) {
        if (reply[at] == '6' && reply[at + 1] == '\r' && reply[at + 2] == '\n')
            return static_cast<uint32_t>(reply[at + 5]) << 24 | static_cast<uint32_t>(reply[at + 6]) << 16 |
                   static_cast<uint32_t>(reply[at + 7]) << 8 | reply[at + 8];
    }
    return 0;
}

CAudioOutputChannel::CAudioOutputChannel(IDriver* driver, uint32_t audioId, uint32_t arg1,
                                         ipcapture::IAudioStateSink* stateSink,
                                         ipcapture::IAudioFormatList* formatList)
    : CBaseAudioOutputChannel(driver, audioId, arg1, stateSink, formatList),
      m_httpSender(*driver->GetDeviceInfo()),
      m_format(AudioFormat::MuLaw8k())
{
}

CAudioOutputChannel::~CAudioOutputChannel()
{
    m_stopEvent.Set();
    m_httpSender.Abort();
    Stop();
}

bool CAudioOutputChannel::GetAudioFormat(ipcapture::IAudioFormat* format)
{
    if (format == nullptr)
        return false;
    format->SetFourCC(m_format.fourCC);
    format->SetSampleRate(m_format.sampleRate);
    format->SetBitRate(m_format.bitRate);
    format->SetStereo(m_format.stereo);
    return true;
}

bool CAudioOutputChannel::PrepareCamera()
{
    return HUtils::RequestGet(m_httpSender, kPrepareRequest);
}

bool CAudioOutputChannel::IsSupportedFormat(ipcapture::IAudioFormatEntry* entry)
{
    return entry != nullptr && entry->IsEnabled() && entry->GetFourCC() == m_format.fourCC;
}

bool CAudioOutputChannel::IsMatchingFormat(ipcapture::IAudioData* frame)
{
    return frame->GetFourCC() == m_format.fourCC && frame->GetSampleRate() == m_format.sampleRate &&
           frame->IsStereo() == m_format.stereo && frame->GetBitRate() == m_format.bitRate;
}

void CAudioOutputChannel::Disconnect()
{
    m_httpSender.Abort();
    m_sessionNumber = 0;
}

// Each chunk: its size line (hexadecimal, piece header and data), the piece
// header 0x02 0x00 with the piece number (big-endian), the data, CR LF.
std::vector<uint8_t> CAudioOutputChannel::BuildBody(const uint8_t* data, uint32_t size)
{
    std::vector<uint8_t> body;
    uint32_t pieceNumber = kFirstPieceNumber;
    for (uint32_t taken = 0; taken < size && !IsStopRequested(); ++pieceNumber) {
        const uint32_t length = std::min(kPieceBytes, size - taken);
        Append(body, FormatString("%x\r\n", kPieceHeaderBytes + length));
        body.push_back(0x02);
        body.push_back(0x00);
        AppendBigEndian(body, pieceNumber);
        body.insert(body.end(), data + taken, data + taken + length);
        Append(body, "\r\n");
        taken += length;
    }
    Append(body, "0\r\n\r\n");
    return body;
}

std::string CAudioOutputChannel::UploadPath()
{
    const uint32_t session = m_sessionNumber.exchange(0);
    return session != 0 ? kUploadPath + FormatString("&i=%u", session) : std::string(kUploadPath);
}

bool CAudioOutputChannel::SendAudioData(ipcapture::IAudioData* frame)
{
    Web::CHttpRequest request(std::string(), "POST");
    request.m_body = BuildBody(frame->GetData(), frame->GetDataSize());
    request.m_path = UploadPath();
    if (IsStopRequested())
        return true;
    request.m_headers = {"Content-Type: application/x-wva-100", "Connection: Keep-Alive"};
    if (!m_httpSender.Send(request)) {
        m_httpSender.Abort();
        return false;
    }
    std::vector<uint8_t> reply;
    m_httpSender.ReadBody(reply);
    if (reply.size() < kShortestReply || m_httpSender.GetStatusCode() != 200) {
        m_httpSender.Abort();
        return false;
    }
    m_sessionNumber = ParseAudioSessionNumber(reply);
    return true;
}

}  // namespace korvane
