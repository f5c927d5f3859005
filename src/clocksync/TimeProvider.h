#pragma once
// The process-wide clock synchronisation: one thread ("CanonTimeSyncThread")
// that writes the recorder's time and time zone into every registered camera,
// checked once a minute, written at most every five minutes, or at once when
// forced.
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "clocksync/SyncItem.h"
#include "runtime/BaseThread.h"
#include "runtime/Events.h"
#include "runtime/RecursiveLock.h"
#include "runtime/SmartPtr.h"

namespace korvane {

class IDriver;

class CTimeProvider : public CBaseThread {
public:
    // Registers the driver's camera; the first registration creates the
    // provider and starts its thread. Drivers of one camera share one item.
    static void RegisterDevice(IDriver* driver);
    // Drops one registration; the last one stops the thread and deletes the provider.
    static void UnregisterDevice(IDriver* driver);
    // Wakes the thread for a forced cycle over all cameras; does not wait for it.
    static void SynchroniseNow();
    // Cameras currently kept in step (0 when there is no provider).
    static size_t DeviceCount();

    CTimeProvider();
    ~CTimeProvider() override;

    // "%.8x:%hu" of the device's first IPv4 address (0 when it does not
    // resolve) and its port.
    static std::string DeviceKey(IDriver* driver);

protected:
    bool Run() override;

private:
    // The drivers registered for one camera; their number is the registration count.
    struct DEVICE_ENTRY {
        TSmartPtr<CSyncItem> item;
        std::set<IDriver*> drivers;
    };

    // A driver already registered is not counted again.
    void AddDevice(IDriver* driver);
    // A driver that is not registered is ignored. True when the table is empty afterwards.
    bool RemoveDevice(IDriver* driver);
    void RunCycle(bool forced);

    CRecursiveLock m_lock;
    std::map<std::string, DEVICE_ENTRY> m_devices;
    uint32_t m_syncPeriodSeconds = 300;
    uint32_t m_wakePeriodSeconds = 60;
    CEvent m_wakeEvent;
    CEvent m_forceEvent;
};

}  // namespace korvane
