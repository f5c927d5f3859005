#include "clocksync/SyncItem.h"

#include "capabilities/CameraReply.h"
#include "clocksync/ClockRequest.h"
#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "platform/Time.h"
#include "runtime/RequestHelpers.h"
#include "runtime/StopScope.h"

namespace korvane {

CSyncItem::CSyncItem(IDriver* driver, uint32_t periodSeconds)
    : m_httpSender(*driver->GetDeviceInfo()), m_intervalMs(periodSeconds * 1000)
{
    m_lastSync.Set(0);
}

CSyncItem::~CSyncItem() = default;

void CSyncItem::Cancel()
{
    m_active = false;
    m_httpSender.Abort();
}

void CSyncItem::CheckDaylightKey()
{
    std::string reply;
    if (!HUtils::RequestGetText(m_httpSender, "/admin/-set-?el=bc30", reply))
        return;
    m_hasDstKey = !GetValue(reply, SettingsValueKey("bc30"), "=", kReplyLineSeparators).empty();
    m_dstChecked = true;
}

void CSyncItem::Synchronise(bool forced)
{
    if (!m_active)
        return;
    if (!forced && m_lastSync.ElapsedMs() <= m_intervalMs)
        return;
    CStopScope scope([this] { return !m_active; });
    if (!m_dstChecked)
        CheckDaylightKey();
    const SYSTEMTIME local = platform::LocalTimeNow();
    const platform::TimeZoneInfo zone = platform::CurrentTimeZone();
    if (HUtils::RequestGet(m_httpSender, BuildClockRequest(m_hasDstKey, zone, local)))
        m_lastSync.Update();
}

}  // namespace korvane
