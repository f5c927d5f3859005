#include "camsim/rtsp/RtspConnection.h"

#include <algorithm>
#include <chrono>

#include "camsim/rtsp/RtpTransports.h"
#include "camsim/rtsp/RtspRecorder.h"
#include "platform/Network.h"
#include "runtime/Base64.h"
#include "runtime/Md5.h"
#include "runtime/StringFormat.h"

namespace camsim {

using korvane::FormatString;

namespace {

constexpr size_t kRequestLimit = 65536;
constexpr uint32_t kPollMs = 20;

uint64_t NowMs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Value of a quoted or plain parameter in an Authorization header.
std::string AuthParameter(const std::string& header, const std::string& name)
{
    const size_t at = header.find(name + "=");
    if (at == std::string::npos)
        return std::string();
    size_t start = at + name.size() + 1;
    if (start < header.size() && header[start] == '"') {
        ++start;
        return header.substr(start, header.find('"', start) - start);
    }
    return header.substr(start, header.find_first_of(", ", start) - start);
}

// "a-b" port pair of a Transport parameter.
bool ParsePortPair(const std::string& text, uint16_t& first, uint16_t& second)
{
    unsigned a = 0, b = 0;
    if (std::sscanf(text.c_str(), "%u-%u", &a, &b) != 2 || a > 65535 || b > 65535)
        return false;
    first = static_cast<uint16_t>(a);
    second = static_cast<uint16_t>(b);
    return true;
}

}  // namespace

RtspConnection::RtspConnection(korvane::platform::TcpSocket socket, const RtspServerOptions& options,
                               std::string baseUrl, RtspFaults& faults, RtspRecorder& recorder)
    : m_socket(std::move(socket)), m_options(options), m_baseUrl(std::move(baseUrl)), m_faults(faults),
      m_recorder(recorder)
{
    RtspStreamPlan plan;
    for (MediaCodec codec : m_options.tracks)
        plan.tracks.push_back(RtspTrackPlan{codec, MediaSourceOptions(), 0});
    plan.multicastGroup = m_options.multicastGroup;
    plan.multicastPort = m_options.multicastPort;
    UsePlan(plan);
    m_socket.SetReceiveTimeout(kPollMs);
    m_socket.SetSendTimeout(1000);
}

RtspConnection::~RtspConnection()
{
    Close();
}

void RtspConnection::Start()
{
    m_reader = std::thread([this] { ReadLoop(); });
    m_streamer = std::thread([this] { StreamLoop(); });
}

void RtspConnection::Close()
{
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_stop = true;
    }
    m_stopChanged.notify_all();
    m_socket.Shutdown();
    if (m_reader.joinable() && m_reader.get_id() != std::this_thread::get_id())
        m_reader.join();
    if (m_streamer.joinable())
        m_streamer.join();
}

void RtspConnection::UsePlan(const RtspStreamPlan& plan)
{
    std::lock_guard<std::mutex> lock(m_tracksMutex);
    m_tracks.clear();
    uint32_t ssrc = 0x10203040;
    for (const RtspTrackPlan& track : plan.tracks) {
        if (auto source = OpenMediaSource(track.codec, track.media)) {
            m_tracks.push_back(std::make_unique<RtpTrack>(std::move(source), ssrc++));
            m_tracks.back()->SetFramePeriodMs(track.framePeriodMs);
        }
    }
    m_multicastGroup = plan.multicastGroup;
    m_multicastPort = plan.multicastPort;
}

bool RtspConnection::ResolveStream(const std::string& url)
{
    if (!m_options.resolveStream)
        return true;
    const size_t authority = url.find("://");
    const size_t slash = url.find('/', authority == std::string::npos ? 0 : authority + 3);
    if (slash == std::string::npos)
        return false;
    std::string path = url.substr(slash + 1);
    if (!path.empty() && path.back() == '/')
        path.pop_back();  // the base URL of an earlier session
    RtspStreamPlan plan;
    if (!m_options.resolveStream(path, plan))
        return false;
    UsePlan(plan);
    // Like a camera, the stream's own URL is the session's base.
    m_baseUrl = url.back() == '/' ? url : url + "/";
    return true;
}

void RtspConnection::SendBye()
{
    std::lock_guard<std::mutex> lock(m_tracksMutex);
    for (auto& track : m_tracks)
        track->SendBye();
}

bool RtspConnection::SleepUnlessStopped(uint32_t ms)
{
    std::unique_lock<std::mutex> lock(m_stopMutex);
    return !m_stopChanged.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
}

void RtspConnection::ReadLoop()
{
    std::string buffer;
    char chunk[4096];
    while (!m_stop) {
        const int received = m_socket.Receive(chunk, sizeof chunk);
        if (received == 0)
            break;
        if (received < 0)
            continue;  // poll time-out: look at the stop flag again
        buffer.append(chunk, static_cast<size_t>(received));
        while (ExtractMessage(buffer)) {
        }
        if (buffer.size() > kRequestLimit)
            break;
    }
    m_playing = false;
    m_finished = true;
}

bool RtspConnection::ExtractMessage(std::string& buffer)
{
    if (buffer.empty())
        return false;
    if (buffer[0] == '$') {
        if (buffer.size() < 4)
            return false;
        const size_t length = static_cast<uint8_t>(buffer[2]) * 256u + static_cast<uint8_t>(buffer[3]);
        if (buffer.size() < 4 + length)
            return false;
        if (static_cast<uint8_t>(buffer[1]) % 2 == 1)
            m_recorder.AddReceiverReport(std::vector<uint8_t>(buffer.begin() + 4, buffer.begin() + 4 + length));
        buffer.erase(0, 4 + length);
        return true;
    }
    const size_t end = buffer.find("\r\n\r\n");
    if (end == std::string::npos)
        return false;
    RtspRequest head;
    head.Parse(buffer.substr(0, end + 4));
    const size_t bodyLength = std::strtoul(head.Header("Content-Length").c_str(), nullptr, 10);
    if (buffer.size() < end + 4 + bodyLength)
        return false;
    const std::string text = buffer.substr(0, end + 4 + bodyLength);
    buffer.erase(0, text.size());
    m_recorder.AddRequest(text);
    RtspRequest request;
    if (request.Parse(text))
        Handle(request);
    else
        Reply("0", "400 Bad Request");
    return true;
}

void RtspConnection::Handle(const RtspRequest& request)
{
    const std::string cseq = request.Header("CSeq");
    m_lastRequestMs = NowMs();
    if (const uint32_t delay = m_faults.responseDelayMs; delay != 0 && !SleepUnlessStopped(delay))
        return;
    if (!Authorised(request)) {
        Reply(cseq, "401 Unauthorized", Challenge());
        return;
    }
    const std::string& method = request.method;
    if (method == "OPTIONS") {
        if (!SessionMatches(request, false))
            return Reply(cseq, "454 Session Not Found");
        Reply(cseq, "200 OK", "Public: DESCRIBE, SETUP, TEARDOWN, PLAY, PAUSE, OPTIONS\r\n");
    } else if (method == "DESCRIBE") {
        if (!ResolveStream(request.url))
            return Reply(cseq, "404 Not Found");
        const std::string body = Description();
        const std::string base = m_options.sendContentBase ? "Content-Base: " + m_baseUrl + "\r\n" : "";
        Reply(cseq, "200 OK", base + "Content-Type: application/sdp\r\n" + "Content-Length: " + std::to_string(body.size()) + "\r\n",
              body);
    } else if (method == "SETUP") {
        HandleSetup(request, cseq);
    } else if (method == "PLAY" || method == "PAUSE" || method == "TEARDOWN") {
        if (!SessionMatches(request, true))
            return Reply(cseq, "454 Session Not Found");
        const std::string session = "Session: " + m_options.sessionId + "\r\n";
        if (method == "PLAY") {
            std::string info;
            {
                std::lock_guard<std::mutex> lock(m_tracksMutex);
                if (!m_tracks.empty())
                    info = FormatString("RTP-Info: url=%strackID=1;seq=%u;rtptime=%u\r\n", m_baseUrl.c_str(),
                                        m_tracks[0]->NextSequence(), m_tracks[0]->Timestamp());
            }
            Reply(cseq, "200 OK", session + "Range: npt=0.000-\r\n" + info);
            m_playing = true;
        } else if (method == "PAUSE") {
            m_playing = false;
            Reply(cseq, "200 OK", session);
        } else {
            m_playing = false;
            m_sessionOpen = false;
            {
                std::lock_guard<std::mutex> lock(m_tracksMutex);
                for (auto& track : m_tracks)
                    track->SetTransport(nullptr);
            }
            Reply(cseq, "200 OK", session);
        }
    } else {
        Reply(cseq, "405 Method Not Allowed");
    }
}

void RtspConnection::HandleSetup(const RtspRequest& request, const std::string& cseq)
{
    const size_t trackAt = request.url.rfind("trackID=");
    const size_t index = trackAt == std::string::npos ? 0 : std::strtoul(request.url.c_str() + trackAt + 8, nullptr, 10);
    std::lock_guard<std::mutex> lock(m_tracksMutex);
    if (index < 1 || index > m_tracks.size())
        return Reply(cseq, "404 Not Found");
    const std::string transport = request.Header("Transport");
    std::unique_ptr<IRtpTransport> chosen;
    std::string answer;
    uint16_t first = 0, second = 0;
    if (ParsePortPair(HeaderParameter(transport, "interleaved"), first, second)) {
        chosen = std::make_unique<InterleavedRtpTransport>(
            [this](uint8_t channel, const std::vector<uint8_t>& payload) { return SendFrame(channel, payload); },
            static_cast<uint8_t>(first), static_cast<uint8_t>(second));
        answer = FormatString("RTP/AVP/TCP;unicast;interleaved=%u-%u", first, second);
    } else if (transport.find(";multicast") != std::string::npos && !m_multicastGroup.empty()) {
        const uint16_t port = static_cast<uint16_t>(m_multicastPort + 2 * (index - 1));
        auto udp = std::make_unique<UdpRtpTransport>(korvane::platform::ParseIPv4(m_options.address),
                                                     korvane::platform::ParseIPv4(m_multicastGroup), port,
                                                     static_cast<uint16_t>(port + 1));
        if (!udp->Open())
            return Reply(cseq, "500 Internal Server Error");
        answer = FormatString("RTP/AVP;multicast;destination=%s;port=%u-%u;ttl=1", m_multicastGroup.c_str(),
                              port, port + 1u);
        chosen = std::move(udp);
    } else if (ParsePortPair(HeaderParameter(transport, "client_port"), first, second)) {
        auto udp = std::make_unique<UdpRtpTransport>(korvane::platform::ParseIPv4(m_options.address),
                                                     korvane::platform::ParseIPv4("127.0.0.1"), first, second);
        if (!udp->Open())
            return Reply(cseq, "500 Internal Server Error");
        answer = FormatString("RTP/AVP;unicast;client_port=%u-%u;server_port=%u-%u", first, second,
                              udp->ServerRtpPort(), udp->ServerRtcpPort());
        chosen = std::move(udp);
    } else {
        return Reply(cseq, "461 Unsupported Transport");
    }
    m_tracks[index - 1]->SetTransport(std::move(chosen));
    m_sessionOpen = true;
    const std::string timeout =
        m_options.sessionTimeoutS != 0 ? FormatString(";timeout=%u", m_options.sessionTimeoutS) : std::string();
    Reply(cseq, "200 OK",
          "Transport: " + answer + FormatString(";ssrc=%08X\r\n", 0x10203040u + static_cast<uint32_t>(index - 1)) +
              "Session: " + m_options.sessionId + timeout + "\r\n");
}

bool RtspConnection::Authorised(const RtspRequest& request) const
{
    const std::string header = request.Header("Authorization");
    switch (m_options.auth) {
    case RtspAuth::None:
        return true;
    case RtspAuth::Basic: {
        const std::string credentials = m_options.userName + ":" + m_options.password;
        return header == "Basic " + korvane::Base64Encode(reinterpret_cast<const uint8_t*>(credentials.data()),
                                                          credentials.size());
    }
    case RtspAuth::Digest: {
        if (header.rfind("Digest ", 0) != 0 || AuthParameter(header, "username") != m_options.userName ||
            AuthParameter(header, "realm") != m_options.realm || AuthParameter(header, "nonce") != m_options.nonce)
            return false;
        const std::string ha1 = korvane::Md5Hex(m_options.userName + ":" + m_options.realm + ":" + m_options.password);
        const std::string ha2 = korvane::Md5Hex(request.method + ":" + AuthParameter(header, "uri"));
        return AuthParameter(header, "response") == korvane::Md5Hex(ha1 + ":" + m_options.nonce + ":" + ha2);
    }
    }
    return false;
}

std::string RtspConnection::Challenge() const
{
    if (m_options.auth == RtspAuth::Basic)
        return "WWW-Authenticate: Basic realm=\"" + m_options.realm + "\"\r\n";
    return "WWW-Authenticate: Digest realm=\"" + m_options.realm + "\", nonce=\"" + m_options.nonce + "\"\r\n";
}

bool RtspConnection::SessionMatches(const RtspRequest& request, bool required) const
{
    const std::string session = request.Header("Session");
    if (session.empty())
        return !required;
    if (!m_sessionOpen)
        return false;
    return session.substr(0, session.find(';')) == m_options.sessionId;
}

std::string RtspConnection::Description()
{
    std::lock_guard<std::mutex> lock(m_tracksMutex);
    const bool multicast = !m_multicastGroup.empty();
    std::string sdp = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=camsim\r\nt=0 0\r\na=control:*\r\n";
    if (!multicast)
        sdp += "c=IN IP4 0.0.0.0\r\n";
    for (size_t i = 0; i < m_tracks.size(); ++i) {
        IMediaSource& source = m_tracks[i]->Source();
        const unsigned type = source.PayloadType();
        const unsigned port = multicast ? m_multicastPort + 2u * static_cast<unsigned>(i) : 0u;
        sdp += FormatString("m=%s %u RTP/AVP %u\r\n", source.MediaType().c_str(), port, type);
        if (multicast)
            sdp += "c=IN IP4 " + m_multicastGroup + "/1\r\n";
        sdp += FormatString("a=rtpmap:%u %s\r\n", type, source.EncodingName().c_str());
        if (!source.FmtpAttributes().empty())
            sdp += FormatString("a=fmtp:%u %s\r\n", type, source.FmtpAttributes().c_str());
        sdp += "a=control:trackID=" + std::to_string(i + 1) + "\r\n";
    }
    return sdp;
}

void RtspConnection::Reply(const std::string& cseq, const std::string& status, const std::string& headers,
                           const std::string& body)
{
    const std::string text = "RTSP/1.0 " + status + "\r\nCSeq: " + cseq + "\r\nServer: camsim\r\n" + headers + "\r\n" + body;
    std::lock_guard<std::mutex> lock(m_sendMutex);
    m_socket.SendAll(text.data(), text.size());
}

bool RtspConnection::SendFrame(uint8_t channel, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> frame{'$', channel, static_cast<uint8_t>(payload.size() >> 8),
                               static_cast<uint8_t>(payload.size())};
    frame.insert(frame.end(), payload.begin(), payload.end());
    std::lock_guard<std::mutex> lock(m_sendMutex);
    return m_socket.SendAll(frame.data(), frame.size());
}

void RtspConnection::ExpireIdleSession(uint64_t now)
{
    if (!m_options.expireSessions || m_options.sessionTimeoutS == 0 || !m_sessionOpen ||
        now < m_lastRequestMs + m_options.sessionTimeoutS * 1000ull)
        return;
    m_sessionOpen = false;
    m_playing = false;
    for (auto& track : m_tracks)
        track->SetTransport(nullptr);
    m_recorder.CountExpiredSession();
}

void RtspConnection::StreamLoop()
{
    std::vector<uint64_t> due;
    uint64_t nextReport = 0;
    while (!m_stop) {
        const uint64_t now = NowMs();
        uint64_t wake = now + kPollMs;
        {
            std::lock_guard<std::mutex> lock(m_tracksMutex);
            due.resize(m_tracks.size(), now);
            const bool sending = m_playing && !m_faults.stopSending;
            const bool report = sending && now >= nextReport;
            for (size_t i = 0; i < m_tracks.size(); ++i) {
                RtpTrack& track = *m_tracks[i];
                if (now >= due[i]) {
                    if (sending && track.HasTransport())
                        track.SendFrame(m_faults, m_recorder);
                    const uint64_t period = std::max<uint32_t>(1, track.FramePeriodMs());
                    due[i] = std::max(due[i] + period, now);
                }
                if (report && track.HasTransport())
                    track.SendSenderReport(m_recorder);
                track.CollectReceiverReports(m_recorder);
                wake = std::min(wake, due[i]);
            }
            if (report)
                nextReport = now + m_options.senderReportPeriodMs;
            ExpireIdleSession(now);
        }
        if (wake > now)
            SleepUnlessStopped(static_cast<uint32_t>(wake - now));
    }
}

}  // namespace camsim
