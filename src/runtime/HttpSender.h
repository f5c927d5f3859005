#pragma once
// The only way to send HTTP requests to the camera. A sender belongs to one device and one
// thread; only Abort() may be called from another thread. No request starts on a thread
// whose owner is stopping (see CStopScope).
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "driver/DeviceInfo.h"
#include "runtime/HttpRequest.h"

namespace korvane::platform {
class HttpClient;
}

namespace Web {

class CBaseHttpSender {
public:
    explicit CBaseHttpSender(const korvane::DEVICE_INFO& device) : m_device(device) {}
    virtual ~CBaseHttpSender() = default;
    CBaseHttpSender(const CBaseHttpSender&) = delete;
    CBaseHttpSender& operator=(const CBaseHttpSender&) = delete;

    // True when a reply (any status) is ready for reading, or the request was sent and
    // kHttpFlagNoReplyWait asked not to wait.
    virtual bool Send(const CHttpRequest& request) = 0;
    virtual void Abort() = 0;
    virtual uint32_t GetDataAvailable() = 0;
    // Replaces body with the whole reply (at most 1 MiB when its length is unknown).
    virtual uint32_t ReadBody(std::vector<uint8_t>& body) = 0;
    // Reads at most maxBytes once and appends them.
    virtual uint32_t ReadChunk(std::vector<uint8_t>& body, uint32_t maxBytes, bool clearFirst) = 0;

    const korvane::DEVICE_INFO& GetDeviceInfo() const { return m_device; }

protected:
    korvane::DEVICE_INFO m_device;
};

class CHttpSender : public CBaseHttpSender {
public:
    explicit CHttpSender(const korvane::DEVICE_INFO& device);
    ~CHttpSender() override;

    bool Send(const CHttpRequest& request) override;
    void Abort() override;
    uint32_t GetDataAvailable() override;
    uint32_t ReadBody(std::vector<uint8_t>& body) override;
    uint32_t ReadChunk(std::vector<uint8_t>& body, uint32_t maxBytes, bool clearFirst) override;

    uint32_t GetStatusCode() const { return m_statusCode; }
    uint32_t GetContentLength() const { return m_contentLength; }
    uint32_t GetPreferredScheme() const { return m_preferredScheme; }
    bool IsSecure() const { return m_secure; }

private:
    enum SendResult { kSendFailed = 0, kSendDone = 1, kSendFinalFailure = -1 };

    void OpenSession();
    int SendOnce(const CHttpRequest& request);
    uint32_t SchemeFor(uint32_t authenticationMode) const;
    bool PrepareRequest(const CHttpRequest& request, uint32_t& scheme);

    std::unique_ptr<korvane::platform::HttpClient> m_client;  // session and connection
    uint32_t m_statusCode = 0;
    uint32_t m_contentLength = 0;  // 0 when unknown
    uint32_t m_preferredScheme = 0;
    bool m_secure;
    std::atomic<bool> m_aborted{false};
};

}  // namespace Web
