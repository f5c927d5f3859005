#pragma once
// A capability query: reads a camera's properties on a worker thread, saves
// them into the host's result object and reports to the host's callback.
#include <cstdint>
#include <memory>
#include <string>

#include "capabilities/BaseCameraProperties.h"
#include "driver/DeviceInfo.h"
#include "platform/Thread.h"
#include "runtime/RecursiveLock.h"
#include "runtime/SmartPtr.h"
#include "tallowcam/CapabilityQuery.h"

namespace korvane {

class CCapabilityQueryModule : public ipcapture::IIPCapabilityQuery {
public:
    // videoStandard: false for 25 frames per second cameras, true for 30.
    CCapabilityQueryModule(ipcapture::ICapabilityCallback* callback, bool videoStandard);
    virtual ~CCapabilityQueryModule();
    TALLOWCAM_DELETING_DESTRUCTOR

    bool Start(const char* address, uint16_t port, const char* userName, const char* password,
               ipcapture::ICapabilityResult* result) override;
    void Terminate() override;

protected:
    // A property reader for the device record and video standard; null on failure.
    virtual CBaseCameraProperties* CreateProperties() = 0;

    const DEVICE_INFO& GetDevice() const { return m_device; }
    bool GetVideoStandard() const { return m_videoStandard; }

private:
    // The worker's body: checks the address, runs the discovery, saves the
    // findings and reports the outcome. Touches no member after the report, so
    // that the host may delete the module from its callback.
    void Run(const TSmartPtr<CBaseCameraProperties>& properties, ipcapture::ICapabilityResult* result);
    void WaitForWorker(platform::Thread& worker);
    static bool IsValidAddress(const std::string& address);
    bool Discover(CBaseCameraProperties& properties, uint32_t& status, std::string& message);
    static bool SaveResults(const CBaseCameraProperties& properties, ipcapture::ICapabilityResult& result);
    // Calls the host's callback, if any, guarded against exceptions.
    template <typename Call>
    void Notify(Call call);
    void ReportFailure(uint32_t status, const std::string& message);

    const bool m_videoStandard;
    DEVICE_INFO m_device;
    ipcapture::ICapabilityCallback* const m_callback;
    ipcapture::ICapabilityResult* m_result = nullptr;
    TSmartPtr<CBaseCameraProperties> m_properties;
    CRecursiveLock m_lock;
    std::unique_ptr<platform::Thread> m_worker;  // kept until joined
    // The worker a Terminate waits for, outside the lock; expires when the wait
    // is over without Terminate touching the module again, which the host may
    // have deleted from its callback meanwhile.
    std::weak_ptr<platform::Thread> m_terminating;
};

}  // namespace korvane
