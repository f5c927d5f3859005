#include "runtime/HttpSender.h"

#include <algorithm>

#include "platform/HttpClient.h"
#include "runtime/StopScope.h"

namespace Web {

namespace {

using korvane::platform::HttpError;
using korvane::platform::HttpTimeout;

constexpr char kUserAgent[] = "Korvane::HttpSender";
constexpr uint32_t kMaxConnectionsPerServer = 16;
constexpr uint32_t kUnknownLengthLimit = 1048576;
constexpr uint32_t kReadPiece = 8192;

}  // namespace

CHttpSender::CHttpSender(const korvane::DEVICE_INFO& device) : CBaseHttpSender(device), m_secure(device.port == 443)
{
    OpenSession();
}

CHttpSender::~CHttpSender() = default;  // the client closes request, connection and session in this order

void CHttpSender::OpenSession()
{
    m_client = korvane::platform::HttpClient::Create(kUserAgent);
    const uint32_t timeout = m_device.requestTimeoutMs;
    const HttpTimeout order[] = {HttpTimeout::Receive, HttpTimeout::Resolve, HttpTimeout::ReceiveReply,
                                 HttpTimeout::Send, HttpTimeout::Connect};
    for (HttpTimeout which : order) {
        if (!m_client->SetTimeout(which, timeout))
            return;
    }
    // libcurl has one limit per server; WinHTTP's separate one for HTTP/1.0 servers has no counterpart.
    m_client->SetMaxConnectionsPerServer(kMaxConnectionsPerServer);
}

uint32_t CHttpSender::SchemeFor(uint32_t authenticationMode) const
{
    if (m_preferredScheme != 0)
        return m_preferredScheme;
    uint32_t scheme = korvane::platform::kHttpAuthBasic;
    if ((authenticationMode & 3) == 3)
        scheme = korvane::platform::kHttpAuthDigest;
    else if (authenticationMode & 2)
        scheme = korvane::platform::kHttpAuthPassport;
    else if (authenticationMode & 1)
        scheme = korvane::platform::kHttpAuthNtlm;
    if (authenticationMode & 4)
        scheme |= korvane::platform::kHttpAuthNegotiate;
    return scheme;
}

bool CHttpSender::PrepareRequest(const CHttpRequest& request, uint32_t& scheme)
{
    const bool secure = request.m_secure == 1;
    if (!m_client->OpenRequest(request.m_method, request.m_path, secure, (request.m_flags & kHttpFlagNoQueryEscape) == 0))
        return false;
    if (!m_device.userName.empty() && request.m_authenticationMode != kHttpAuthModeNone) {
        scheme = SchemeFor(request.m_authenticationMode);
        if (!m_client->SetCredentials(scheme, m_device.userName, m_device.password))
            return false;
    }
    if (secure && (request.m_flags & kHttpFlagAnyCertificate) && !m_client->SetIgnoreCertificateErrors())
        return false;
    if ((request.m_flags & kHttpFlagNoRedirects) && !m_client->SetFollowRedirects(false))
        return false;
    return std::all_of(request.m_headers.begin(), request.m_headers.end(),
                       [&](const std::string& line) { return m_client->AddHeader(line); });
}

int CHttpSender::SendOnce(const CHttpRequest& request)
{
    m_client->CloseRequest();
    m_statusCode = 0;
    m_contentLength = 0;
    if (!m_client->IsConnected() && !m_client->Connect(m_device.address, static_cast<uint16_t>(m_device.port)))
        return kSendFinalFailure;

    uint32_t scheme = 0;
    if (!PrepareRequest(request, scheme)) {
        m_client->CloseRequest();
        return kSendFinalFailure;
    }
    const size_t totalLength = std::max<size_t>(request.m_body.size(), request.m_totalLength);
    const HttpError sent = m_client->SendRequest(request.m_body, totalLength);
    if (sent != HttpError::None) {
        m_client->CloseRequest();
        return sent == HttpError::Timeout ? kSendFinalFailure : kSendFailed;
    }
    if (request.m_flags & kHttpFlagNoReplyWait)
        return kSendDone;

    if (m_client->ReceiveResponse() != HttpError::None) {
        m_client->CloseRequest();
        return kSendFailed;
    }
    m_statusCode = m_client->GetStatusCode();
    uint32_t length = 0;
    if (m_statusCode != 204 && m_client->GetContentLength(length))
        m_contentLength = length;

    if (m_statusCode == 401 && m_preferredScheme == 0) {
        uint32_t offered = 0;
        uint32_t first = 0;
        const bool known = m_client->QueryAuthSchemes(offered, first);
        m_client->CloseRequest();
        if (!known)
            return kSendFinalFailure;
        m_preferredScheme = first;
        if (first == scheme)
            return kSendFinalFailure;
        return SendOnce(request);  // now with the server's scheme
    }
    return kSendDone;
}

bool CHttpSender::Send(const CHttpRequest& request)
{
    m_aborted = false;
    m_client->ClearAbort();
    // After the clear: an owner's stop that came before it is seen here, a later one aborts.
    if (korvane::CStopScope::IsStopping())
        return false;
    CHttpRequest attempt = request;
    attempt.m_secure = m_secure ? 1 : 0;

    int result = SendOnce(attempt);
    if (result == kSendFailed && m_aborted)
        return false;
    if (result == kSendFailed) {
        attempt.m_secure = attempt.m_secure == 1 ? 0 : 1;
        result = SendOnce(attempt);
    }
    if (result != kSendDone)
        return false;
    m_secure = attempt.m_secure == 1;
    return true;
}

void CHttpSender::Abort()
{
    m_aborted = true;
    m_client->Abort();
}

uint32_t CHttpSender::GetDataAvailable()
{
    return m_client->HasRequest() ? static_cast<uint32_t>(m_client->QueryDataAvailable()) : 0;
}

uint32_t CHttpSender::ReadBody(std::vector<uint8_t>& body)
{
    body.clear();
    uint32_t remaining = m_contentLength != 0 ? m_contentLength : kUnknownLengthLimit;
    uint8_t buffer[kReadPiece];
    size_t read = 1;
    while (m_client->HasRequest() && read > 0 && remaining > 0) {
        if (m_client->ReadData(buffer, std::min(kReadPiece, remaining), read) != HttpError::None)
            break;  // a time-out or failure keeps the bytes received so far
        body.insert(body.end(), buffer, buffer + read);
        remaining -= static_cast<uint32_t>(read);
    }
    return static_cast<uint32_t>(body.size());
}

uint32_t CHttpSender::ReadChunk(std::vector<uint8_t>& body, uint32_t maxBytes, bool clearFirst)
{
    if (clearFirst)
        body.clear();
    if (!m_client->HasRequest() || maxBytes == 0)
        return 0;
    const uint32_t piece = std::min(maxBytes, kUnknownLengthLimit);
    const size_t start = body.size();
    body.resize(start + piece);
    size_t read = 0;
    m_client->ReadData(body.data() + start, piece, read);
    body.resize(start + read);
    return static_cast<uint32_t>(read);
}

}  // namespace Web
