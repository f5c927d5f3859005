#include "clocksync/SyncItem.h"

#include "clocksync/ClockRequest.h"
#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "platform/Time.h"
#include "runtime/RequestHelpers.h"

namespace korvane {

namespace {

// Value of `key` in a settings reply ("key=value" lines); empty when absent.
std::string SettingsValue(const std::string& reply, const std::string& key)
{
    size_t lineStart = 0;
    while (lineStart < reply.size()) {
        size_t lineEnd = reply.find_first_of("\r\n", lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = reply.size();
        const std::string line = reply.substr(lineStart, lineEnd - lineStart);
        const size_t separator = line.find('=');
        if (separator != std::string::npos && line.compare(0, separator, key) == 0 && separator == key.size())
            return line.substr(separator + 1);
        lineStart = lineEnd + 1;
    }
    return std::string();
}

}  // namespace

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
    m_hasDstKey = !SettingsValue(reply, "Valbc30").empty();
    m_dstChecked = true;
}

void CSyncItem::Synchronise(bool forced)
{
    if (!m_active)
        return;
    if (!forced && m_lastSync.ElapsedMs() <= m_intervalMs)
        return;
    if (!m_dstChecked)
        CheckDaylightKey();
    const SYSTEMTIME local = platform::LocalTimeNow();
    const platform::TimeZoneInfo zone = platform::CurrentTimeZone();
    if (m_active && HUtils::RequestGet(m_httpSender, BuildClockRequest(m_hasDstKey, zone, local)))
        m_lastSync.Update();
}

}  // namespace korvane
