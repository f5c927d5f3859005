#include "clocksync/TimeProvider.h"

#include <new>
#include <vector>

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "platform/Network.h"
#include "runtime/StringFormat.h"

namespace korvane {

namespace {

// The one provider of the process and the lock that guards creating, using
// and deleting it; constructed while the library loads.
struct SERVICE_STATE {
    CRecursiveLock lock;
    CTimeProvider* provider = nullptr;
};

SERVICE_STATE g_service;

SERVICE_STATE& Service()
{
    return g_service;
}

}  // namespace

void CTimeProvider::RegisterDevice(IDriver* driver)
{
    SERVICE_STATE& service = Service();
    CAutoLock guard(service.lock);
    if (service.provider == nullptr)
        service.provider = new (std::nothrow) CTimeProvider();
    if (service.provider == nullptr)
        return;
    service.provider->AddDevice(driver);
    if (!service.provider->IsRunning())
        service.provider->Start("CanonTimeSyncThread");
}

void CTimeProvider::UnregisterDevice(IDriver* driver)
{
    SERVICE_STATE& service = Service();
    CAutoLock guard(service.lock);
    if (service.provider == nullptr || !service.provider->RemoveDevice(driver))
        return;
    service.provider->JoinThread(5000);
    delete service.provider;
    service.provider = nullptr;
}

void CTimeProvider::SynchroniseNow()
{
    SERVICE_STATE& service = Service();
    CAutoLock guard(service.lock);
    if (service.provider != nullptr)
        service.provider->m_forceEvent.Set();
}

size_t CTimeProvider::DeviceCount()
{
    SERVICE_STATE& service = Service();
    CAutoLock guard(service.lock);
    if (service.provider == nullptr)
        return 0;
    CAutoLock tableGuard(service.provider->m_lock);
    return service.provider->m_devices.size();
}

CTimeProvider::CTimeProvider() = default;

CTimeProvider::~CTimeProvider()
{
    JoinThread(5000);
}

std::string CTimeProvider::DeviceKey(IDriver* driver)
{
    const DEVICE_INFO& device = *driver->GetDeviceInfo();
    uint32_t address = platform::ResolveIPv4(device.address);
    if (address == platform::kInvalidAddress)
        address = 0;
    return FormatString("%.8x:%hu", address, static_cast<unsigned short>(device.port));
}

void CTimeProvider::AddDevice(IDriver* driver)
{
    const std::string key = DeviceKey(driver);
    CAutoLock guard(m_lock);
    auto found = m_devices.find(key);
    if (found != m_devices.end()) {
        found->second.drivers.insert(driver);
        return;
    }
    DEVICE_ENTRY entry;
    try {
        entry.item = new CSyncItem(driver, m_syncPeriodSeconds);
    } catch (...) {
        return;  // the camera stays unsynchronised; the driver opens all the same
    }
    entry.drivers.insert(driver);
    m_devices.emplace(key, entry);
    m_wakeEvent.Set();
}

bool CTimeProvider::RemoveDevice(IDriver* driver)
{
    std::vector<TSmartPtr<CSyncItem>> removed;
    bool empty = false;
    {
        // Found by the driver rather than by its key: no name lookup, and a
        // camera whose name now resolves differently is still found.
        CAutoLock guard(m_lock);
        for (auto device = m_devices.begin(); device != m_devices.end();) {
            if (device->second.drivers.erase(driver) != 0 && device->second.drivers.empty()) {
                removed.push_back(device->second.item);
                device = m_devices.erase(device);
            } else {
                ++device;
            }
        }
        empty = m_devices.empty();
    }
    for (const TSmartPtr<CSyncItem>& item : removed)
        item->Cancel();
    return empty;
}

bool CTimeProvider::Run()
{
    CEvent* events[] = {&m_stopEvent, &m_wakeEvent, &m_forceEvent};
    for (;;) {
        const int signalled = WaitAny(events, 3, m_wakePeriodSeconds * 1000);
        if (signalled == 0)
            return true;
        RunCycle(signalled == 2);
    }
}

void CTimeProvider::RunCycle(bool forced)
{
    std::vector<TSmartPtr<CSyncItem>> snapshot;
    {
        CAutoLock guard(m_lock);
        for (const auto& device : m_devices)
            snapshot.push_back(device.second.item);
    }
    for (const TSmartPtr<CSyncItem>& item : snapshot) {
        if (IsStopRequested())
            break;
        try {
            item->Synchronise(forced);
        } catch (...) {
            // A failing camera must not stop the others; it is tried again next cycle.
        }
    }
}

}  // namespace korvane
