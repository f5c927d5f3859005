#include "streaming/BaseRTSPClient.h"

#include <algorithm>
#include <vector>

#include "driver/IDriver.h"
#include "platform/Network.h"
#include "runtime/Base64.h"
#include "runtime/Md5.h"
#include "runtime/StringFormat.h"
#include "runtime/Time.h"
#include "streaming/RTSPStreamParser.h"
#include "streaming/RTSPTextUtils.h"

namespace korvane {

namespace {

constexpr uint32_t kStopReceiveTimeoutMs = 100;
constexpr uint32_t kWaitTimeoutMs = 2000;
constexpr size_t kHeaderLimit = 512;
constexpr size_t kFirstReadSize = 256;
// A session description is a few kilobytes; a longer announced body is cut here.
constexpr size_t kResponseLimit = 65536;
constexpr size_t kInterleavedBufferSize = 8192;
constexpr size_t kInterleavedRegrowBelow = 4096;
constexpr size_t kBasicCredentialsLimit = 99;  // encoded text in a 100-byte buffer
const char kProtocol[] = "RTSP/1.0\r\n";
const char kUserAgent[] = "User-Agent: Korvane\r\n";

// The Content-Length value of a response head: 0 unless all digits, at most
// the response limit.
size_t AnnouncedContentLength(const std::string& head)
{
    static const char kName[] = "content-length: ";
    const size_t name = rtsp::ToLower(head).find(kName);
    if (name == std::string::npos)
        return 0;
    const size_t start = name + sizeof kName - 1;
    const std::string value = head.substr(start, head.find_first_of("\r\n", start) - start);
    if (!rtsp::IsAllDigits(value))
        return 0;
    return value.size() > 9 ? kResponseLimit : std::min<size_t>(std::stoul(value), kResponseLimit);
}

}  // namespace

CBaseRTSPClient::CBaseRTSPClient(IDriver* driver) : CBaseThread(driver), m_driver(driver) {}

CBaseRTSPClient::~CBaseRTSPClient()
{
    Stop();
}

bool CBaseRTSPClient::Start(const RTSPClientSettings& settings, IRTSPClientUser* user, RTSPTransportMode mode)
{
    m_response.ResetDescription();
    Configure(settings, mode);
    m_user = user;
    const std::string name =
        FormatString("RTSP Client Thread (%s)", m_driver != nullptr ? m_driver->GetDeviceName() : "");
    if (Connect() && CBaseThread::Start(name))
        return true;
    Stop();
    return false;
}

void CBaseRTSPClient::Configure(const RTSPClientSettings& settings, RTSPTransportMode mode)
{
    m_settings = settings;
    m_mode = mode;
}

void CBaseRTSPClient::Stop()
{
    if (m_socket)
        m_socket->SetReceiveTimeout(kStopReceiveTimeoutMs);
    StopThread(2 * std::max(m_settings.sendTimeoutMs, m_settings.receiveTimeoutMs) + 1000);
    m_socket.reset();
    m_lastKeepAlive = 0;
    m_user = nullptr;
}

bool CBaseRTSPClient::Connect()
{
    m_socket.reset();
    auto socket = std::make_unique<platform::TcpSocket>();
    if (!socket->Create() || !socket->SetReceiveBuffer(m_settings.receiveBufferBytes))
        return false;
    socket->SetReceiveTimeout(m_settings.receiveTimeoutMs);
    socket->SetSendTimeout(m_settings.sendTimeoutMs);
    const uint32_t address = platform::ResolveIPv4(m_settings.address);
    if (address == platform::kInvalidAddress)
        return false;
    if (!socket->Connect(address, m_settings.serverPort, m_settings.connectTimeoutMs))
        return false;
    m_socket = std::move(socket);
    return true;
}

bool CBaseRTSPClient::Run()
{
    m_pauseEvent.Reset();
    m_playEvent.Reset();
    if (!SendRequest(kRtspDescribe)) {
        NotifySessionClosed();
        return true;
    }
    if (NotifySdpInfo() && SendRequest(kRtspSetup)) {
        if (!m_paused)
            m_playEvent.Set();
        WaitForEvents();
    }
    SendRequest(kRtspTeardown);
    NotifySessionClosed();
    return true;
}

void CBaseRTSPClient::WaitForEvents()
{
    CEvent* events[] = {&m_stopEvent, &m_pauseEvent, &m_playEvent};
    for (;;) {
        switch (WaitAny(events, 3, kWaitTimeoutMs)) {
        case 0:
            return;
        case 1:
            if (SendRequest(kRtspPause))
                m_paused = true;
            break;
        case 2:
            m_paused = false;
            SendRequest(kRtspPlay);
            break;
        default:
            KeepAliveCheck();
            break;
        }
    }
}

uint32_t CBaseRTSPClient::SessionTimeoutS() const
{
    return m_response.m_sessionTimeoutS != 0 ? m_response.m_sessionTimeoutS : m_settings.defaultSessionTimeoutS;
}

void CBaseRTSPClient::KeepAliveCheck()
{
    const uint64_t now = NowFileTime();
    const uint64_t elapsedMs = now > m_lastKeepAlive ? (now - m_lastKeepAlive) / platform::kFileTimeTicksPerMs : 0;
    if (elapsedMs <= static_cast<uint64_t>(SessionTimeoutS()) * 1000 / 2)
        return;
    SendRequest(kRtspOptions);
    m_lastKeepAlive = NowFileTime();
}

bool CBaseRTSPClient::SendRequest(uint32_t method)
{
    if (IsStopRequested() && method != kRtspTeardown)
        return m_lastResult = false;
    bool sent = SendOnce(method);
    if (sent && m_response.m_statusCode == 401 && m_response.m_challengeScheme != m_settings.authScheme) {
        m_settings.authScheme = m_response.m_challengeScheme;
        sent = SendOnce(method);
    }
    return m_lastResult = sent && m_response.m_statusCode / 100 == 2;
}

bool CBaseRTSPClient::SendOnce(uint32_t method)
{
    if (!m_socket)
        return false;
    const std::string request = BuildRequest(method);
    if (request.empty() || !m_socket->SendAll(request.data(), request.size()))
        return false;
    if (method == kRtspPlay && m_mode == RTSPTransportMode::Interleaved)
        return RunInterleaved();
    std::string response;
    if (!ReadResponse(response))
        return false;
    return m_response.Parse(method, response);
}

bool CBaseRTSPClient::ReadResponse(std::string& response)
{
    size_t expected = kHeaderLimit;
    size_t readSize = kFirstReadSize;
    bool headerSeen = false;
    std::vector<char> buffer(kHeaderLimit);
    while (response.size() < expected) {
        const int received = m_socket->Receive(buffer.data(), readSize);
        if (received <= 0)
            break;
        response.append(buffer.data(), static_cast<size_t>(received));
        if (!headerSeen) {
            const size_t end = response.find("\r\n\r\n");
            if (end != std::string::npos) {
                headerSeen = true;
                expected = std::min(end + 4 + AnnouncedContentLength(response.substr(0, end + 4)), kResponseLimit);
            }
        }
        readSize = std::min(kHeaderLimit, expected > response.size() ? expected - response.size() : 0);
    }
    return !response.empty();
}

bool CBaseRTSPClient::RunInterleaved()
{
    CRTSPStreamParser parser(m_user);
    size_t readSize = kInterleavedBufferSize;
    for (;;) {
        const int received = m_socket->Receive(parser.ReceiveSpace(readSize), readSize);
        if (received < 1)
            return true;
        if (IsStopRequested())
            return false;
        parser.Process(static_cast<size_t>(received));
        // A full read limits the next one to its size; a short one lets it take the whole buffer again.
        if (static_cast<size_t>(received) < kInterleavedRegrowBelow)
            readSize = kInterleavedBufferSize;
        else
            readSize = static_cast<size_t>(received);
    }
}

const SdpMediaInfo* CBaseRTSPClient::SelectedMedia() const
{
    switch (m_settings.mediaSelector) {
    case kSelectVideo:
        return &m_response.m_sdpInfo.media[SdpInfo::kVideo];
    case kSelectAudio:
        return &m_response.m_sdpInfo.media[SdpInfo::kAudio];
    case kSelectMetadata:
        return &m_response.m_sdpInfo.media[SdpInfo::kMetadata];
    default:
        return nullptr;
    }
}

std::string CBaseRTSPClient::BaseUrl() const
{
    if (m_response.m_contentBase.find("rtsp://") != std::string::npos)
        return m_response.m_contentBase;
    const std::string path = m_settings.path.substr(std::min(m_settings.path.find_first_not_of('/'), m_settings.path.size()));
    return FormatString("rtsp://%s:%u/", m_settings.address.c_str(), static_cast<unsigned>(m_settings.serverPort)) + path;
}

std::string CBaseRTSPClient::SetupUrl() const
{
    const SdpMediaInfo* media = SelectedMedia();
    const std::string control = media != nullptr ? media->control : std::string();
    if (control.find("://") != std::string::npos)
        return control;
    std::string url = BaseUrl();
    if (control.empty())
        return url;
    if (!url.empty() && url.back() == '/')
        url.pop_back();
    if (control.front() != '/')
        url += '/';
    return url + control;
}

std::string CBaseRTSPClient::TransportHeader() const
{
    const SdpMediaInfo* media = SelectedMedia();
    const uint16_t sectionPort = media != nullptr ? media->port : 0;
    std::string profile = media != nullptr ? media->profile : std::string();
    if (profile.empty() || profile == "RTP/AVP")
        profile = m_mode == RTSPTransportMode::UDP ? "RTP/AVP/UDP" : "RTP/AVP/TCP";
    const bool multicast = m_mode == RTSPTransportMode::UDP && sectionPort != 0;
    std::string ports;
    if (m_mode == RTSPTransportMode::Interleaved)
        ports = ";interleaved=0-1";
    else if (multicast)
        ports = FormatString(";client_port=%u-%u", static_cast<unsigned>(sectionPort), sectionPort + 1u);
    else
        ports = FormatString(";client_port=%u-%u", static_cast<unsigned>(m_settings.clientRtpPort),
                             m_settings.clientRtcpPort);
    return "Transport: " + profile + (multicast ? ";multicast" : ";unicast") + ports + "\r\n";
}

std::string CBaseRTSPClient::AuthorizationHeader(uint32_t method) const
{
    if (m_settings.authScheme == kAuthBasic) {
        const std::string credentials = m_settings.userName + ":" + m_settings.password;
        std::string encoded = Base64Encode(reinterpret_cast<const uint8_t*>(credentials.data()), credentials.size());
        encoded.erase(std::remove_if(encoded.begin(), encoded.end(), [](char c) { return c == '\r' || c == '\n'; }),
                      encoded.end());
        if (encoded.size() > kBasicCredentialsLimit)
            return std::string();
        return "Authorization: Basic " + encoded + "\r\n";
    }
    if (m_settings.authScheme != kAuthDigest)
        return std::string();
    const std::string uri = BaseUrl();
    if (m_response.m_challengeScheme != kAuthDigest || m_response.m_realm.empty() || m_response.m_nonce.empty() ||
        m_settings.userName.empty() || m_settings.password.empty() || uri.empty())
        return std::string();
    const std::string ha1 = Md5Hex(m_settings.userName + ":" + m_response.m_realm + ":" + m_settings.password);
    const std::string ha2 = Md5Hex(std::string(RTSPMethodWord(method)) + ":" + uri);
    const std::string response = Md5Hex(ha1 + ":" + m_response.m_nonce + ":" + ha2);
    return FormatString("Authorization: Digest username=\"%s\", realm=\"%s\", nonce=\"%s\", uri=\"%s\", response=\"%s\"\r\n",
                        m_settings.userName.c_str(), m_response.m_realm.c_str(), m_response.m_nonce.c_str(),
                        uri.c_str(), response.c_str());
}

std::string CBaseRTSPClient::BuildRequest(uint32_t method)
{
    if (*RTSPMethodWord(method) == '\0')
        return std::string();
    const std::string cseq = FormatString("CSeq: %u\r\n", ++m_response.m_cseq);
    const std::string authorization = AuthorizationHeader(method);
    const std::string session =
        m_response.m_sessionId.empty() ? std::string() : FormatString("Session: %s\r\n", m_response.m_sessionId.c_str());
    const std::string range = "Range: " + (m_settings.range.empty() ? std::string("npt=0.000-") : m_settings.range) + "\r\n";
    const std::string blockSize = m_settings.blockSize > 100 ? FormatString("Blocksize: %u\r\n", m_settings.blockSize) : "";
    const std::string url = BaseUrl();
    const char* head = kProtocol;
    const char* agent = kUserAgent;
    switch (method) {
    case kRtspDescribe:
        return FormatString("DESCRIBE %s %s%s%s%s%s\r\n", url.c_str(), head, cseq.c_str(), authorization.c_str(), agent,
                            "Accept: application/sdp\r\n");
    case kRtspSetup:
        return FormatString("SETUP %s %s%s%s%s%s%s\r\n", SetupUrl().c_str(), head, cseq.c_str(), authorization.c_str(),
                            agent, TransportHeader().c_str(), blockSize.c_str());
    case kRtspPlay:
        return FormatString("PLAY %s %s%s%s%s%s%s\r\n", url.c_str(), head, cseq.c_str(), authorization.c_str(), agent,
                            session.c_str(), range.c_str());
    case kRtspTeardown:
        return FormatString("TEARDOWN %s %s%s%s%s%s\r\n", url.c_str(), head, cseq.c_str(), authorization.c_str(),
                            agent, session.c_str());
    case kRtspOptions:
        return FormatString("OPTIONS %s %s%s%s%s%s\r\n", url.c_str(), head, cseq.c_str(), authorization.c_str(), agent,
                            session.c_str());
    default:  // kRtspPause
        return FormatString("PAUSE %s %s%s%s%s%s%s\r\n", url.c_str(), head, cseq.c_str(), authorization.c_str(), agent,
                            session.c_str(), range.c_str());
    }
}

bool CBaseRTSPClient::NotifySdpInfo()
{
    if (m_user == nullptr)
        return false;
    try {
        return m_user->SdpInfoReceived(m_response.m_sdpInfo);
    } catch (...) {
        return false;
    }
}

void CBaseRTSPClient::NotifySessionClosed()
{
    if (m_user == nullptr)
        return;
    try {
        m_user->SessionClosed();
    } catch (...) {
    }
}

}  // namespace korvane
