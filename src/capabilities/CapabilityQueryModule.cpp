#include "capabilities/CapabilityQueryModule.h"

#include "capabilities/CapabilitySaver.h"

namespace korvane {

namespace {

constexpr const char* kForbiddenAddressCharacters = "@#$%^&*(){}[]/\\+=|:;,~'\"!?";

}  // namespace

CCapabilityQueryModule::CCapabilityQueryModule(ipcapture::ICapabilityCallback* callback, bool videoStandard)
    : m_videoStandard(videoStandard), m_callback(callback)
{
    m_device.requestTimeoutMs = 5000;
    m_device.secondTimeoutMs = 5000;
}

CCapabilityQueryModule::~CCapabilityQueryModule()
{
    Terminate();
    // Deleted from a callback on the worker itself: the worker ends on its own.
    if (m_worker)
        m_worker->Detach();
}

bool CCapabilityQueryModule::Start(const char* address, uint16_t port, const char* userName, const char* password,
                                   ipcapture::ICapabilityResult* result)
{
    CAutoLock lock(m_lock);
    // A worker that a Terminate still waits for may yet call the host and read the device record.
    if ((m_worker && !m_worker->HasEnded()) || !m_terminating.expired())
        return false;
    if (address == nullptr || userName == nullptr || password == nullptr)
        return false;
    if (m_worker) {
        m_worker->Join(platform::kInfinite);
        m_worker.reset();
    }
    m_result = result;
    m_device.address = address;
    m_device.port = port;
    m_device.userName = userName;
    m_device.password = password;
    try {
        m_properties = CreateProperties();
    } catch (...) {
        m_properties.Release();
    }
    if (!m_properties)
        return false;
    auto worker = std::make_unique<platform::Thread>();
    const TSmartPtr<CBaseCameraProperties> properties = m_properties;
    if (!worker->Start([this, properties, result] { Run(properties, result); }))
        return false;
    m_worker = std::move(worker);
    return true;
}

void CCapabilityQueryModule::Terminate()
{
    TSmartPtr<CBaseCameraProperties> properties;
    std::shared_ptr<platform::Thread> worker;
    {
        CAutoLock lock(m_lock);
        properties = m_properties;
        m_properties.Release();
        m_result = nullptr;
        if (m_worker && !m_worker->IsCurrent()) {
            worker = std::move(m_worker);
            m_terminating = worker;
        }
    }
    if (properties)
        properties->Abort();
    if (worker)
        WaitForWorker(*worker);
}

void CCapabilityQueryModule::WaitForWorker(platform::Thread& worker)
{
    if (worker.Join(2 * m_device.requestTimeoutMs))
        return;
    // Every request of the worker has a time-out, so it ends in bounded time.
    Notify([](ipcapture::ICapabilityCallback& callback) { callback.OnTimeout(); });
    worker.Join(platform::kInfinite);
}

void CCapabilityQueryModule::Run(const TSmartPtr<CBaseCameraProperties>& properties,
                                 ipcapture::ICapabilityResult* result)
{
    uint32_t status = ipcapture::kCapabilityStatusOther;
    if (!IsValidAddress(m_device.address)) {
        ReportFailure(status, "Failed to start capability fetching thread. Device address is invalid!");
        return;
    }
    if (!properties || result == nullptr) {
        ReportFailure(status, "Failed to start capability fetching thread. Internal error occurs");
        return;
    }
    std::string message;
    bool discovered = false;
    try {
        discovered = Discover(*properties, status, message);
    } catch (...) {
        ReportFailure(ipcapture::kCapabilityStatusOther,
                      "Failed to start capability fetching thread. Internal error occurs");
        return;
    }
    if (!discovered)
        ReportFailure(status, message);
    else if (!SaveResults(*properties, *result))
        ReportFailure(status, "Failed to save capability query results");
    else
        Notify([](ipcapture::ICapabilityCallback& callback) { callback.OnCompleted(); });
}

bool CCapabilityQueryModule::IsValidAddress(const std::string& address)
{
    return address.find_first_of(kForbiddenAddressCharacters) == std::string::npos;
}

bool CCapabilityQueryModule::Discover(CBaseCameraProperties& properties, uint32_t& status, std::string& message)
{
    if (properties.Query(status).IsSuccess())
        return true;
    const std::string error = properties.GetLastErrorText();
    message = "Failed to get camera properties";
    switch (status) {
    case ipcapture::kCapabilityStatusCredentials:
        message += error.empty() ? std::string(", login failed (invalid credentials)") : ": " + error;
        break;
    case ipcapture::kCapabilityStatusUnreachable:
        message += ", device is offline or is located in unaccessible subnet";
        break;
    case ipcapture::kCapabilityStatusOther:
        if (!error.empty())
            message += ": " + error;
        break;
    default:
        break;
    }
    return false;
}

bool CCapabilityQueryModule::SaveResults(const CBaseCameraProperties& properties,
                                         ipcapture::ICapabilityResult& result)
{
    try {
        return CCapabilitySaver(properties, result).Save();
    } catch (...) {
        return false;
    }
}

template <typename Call>
void CCapabilityQueryModule::Notify(Call call)
{
    if (m_callback == nullptr)
        return;
    try {
        call(*m_callback);
    } catch (...) {
    }
}

void CCapabilityQueryModule::ReportFailure(uint32_t status, const std::string& message)
{
    Notify([&](ipcapture::ICapabilityCallback& callback) { callback.OnFailed(status, message.c_str()); });
}

}  // namespace korvane
