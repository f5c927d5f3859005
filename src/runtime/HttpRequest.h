#pragma once
// One HTTP request to the camera, as handed to a Web::CBaseHttpSender.
#include <cstdint>
#include <string>
#include <vector>

namespace Web {

constexpr uint32_t kHttpFlagNoQueryEscape = 1;      // send the query part of the path as given
constexpr uint32_t kHttpFlagAnyCertificate = 2;     // with HTTPS, accept any server certificate
constexpr uint32_t kHttpFlagNoRedirects = 4;        // do not follow redirects
constexpr uint32_t kHttpFlagNoReplyWait = 8;        // Send returns once the request is sent
constexpr uint32_t kHttpDefaultFlags = kHttpFlagNoQueryEscape | kHttpFlagAnyCertificate | kHttpFlagNoRedirects;

constexpr uint32_t kHttpAuthModeNone = 5;  // send no credentials

class CHttpRequest {
public:
    CHttpRequest(const std::string& path, const std::string& method) : m_path(path), m_method(method) {}
    virtual ~CHttpRequest() = default;

    std::string m_path;
    std::string m_method;
    uint32_t m_secure = 0;              // 1 = HTTPS; set by the sender
    uint32_t m_authenticationMode = 0;  // kHttpAuthModeNone, or picks the first scheme to try
    std::vector<uint8_t> m_body;
    uint32_t m_totalLength = 0;         // announced body length; the larger of this and the body size is used
    std::vector<std::string> m_headers; // complete header lines
    uint32_t m_flags = kHttpDefaultFlags;
};

}  // namespace Web
