#include "events/CanonMotionChannel.h"

#include <algorithm>

#include "capabilities/CameraReply.h"
#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "runtime/RequestHelpers.h"
#include "runtime/StringFormat.h"

namespace korvane {

namespace {

constexpr char kAreasRequest[] = "/-wvhttp-01-/info.cgi?item=r";
constexpr uint32_t kPollPeriodMs = 1000;
constexpr uint32_t kMotionAreaType = 1;

std::string InfoValue(const std::string& reply, const std::string& key)
{
    return GetValue(reply, key, kInfoSeparator, kReplyLineSeparators);
}

}  // namespace

CCanonMotionChannel::CCanonMotionChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink)
    : CBaseMotionChannel(channelIndex, driver, frameSink), CLoggerInstance(driver), m_sender(*driver->GetDeviceInfo())
{
}

CCanonMotionChannel::~CCanonMotionChannel()
{
    Stop();
}

void CCanonMotionChannel::OnStopping()
{
    m_sender.Abort();
}

bool CCanonMotionChannel::Run()
{
    while (!IsStopRequested()) {
        try {
            if (!IsStopRequested())
                ResetLastMessage();
            if (!IsStopRequested())
                PollLoop();
            if (!m_stopEvent.Wait(kPollPeriodMs))
                CheckDelivery();
        } catch (...) {
            Log(kLogError, "%s(): Unhandled exception during \"Motion detection\" thread processing.",
                "korvane::CCanonMotionChannel::ThreadFunction");
            m_stopEvent.Wait(kPollPeriodMs);  // no busy loop when every cycle fails
        }
    }
    return true;
}

void CCanonMotionChannel::PollLoop()
{
    std::vector<DetectionArea> areas;
    while (!IsStopRequested()) {
        std::string reply;
        if (!HUtils::RequestGetText(m_sender, kAreasRequest, reply)) {
            m_sender.Abort();
            return;
        }
        UpdateAreas(reply, areas);
        ReportMotion(HasMotion(areas));
        if (m_stopEvent.Wait(kPollPeriodMs))
            return;
    }
}

void CCanonMotionChannel::UpdateAreas(const std::string& reply, std::vector<DetectionArea>& areas)
{
    const uint32_t count = std::min(GetUIntValue(reply, "r.count", kInfoSeparator, kReplyLineSeparators),
                                    kMaxDetectionAreas);
    if (count == 0)
        return;
    if (areas.size() != count)
        areas.resize(count);
    for (uint32_t number = 1; number <= count; ++number) {
        DetectionArea& area = areas[number - 1];
        const std::string active = InfoValue(reply, FormatString("r.%u", number));
        if (!active.empty())
            area.active = active == "1";
        const std::string type = InfoValue(reply, FormatString("r.%u.type", number));
        if (!type.empty()) {
            area.type = type == "1" ? kMotionAreaType : 0;
            if (area.type != kMotionAreaType)
                area.active = false;
        }
    }
}

bool CCanonMotionChannel::HasMotion(const std::vector<DetectionArea>& areas)
{
    return std::any_of(areas.begin(), areas.end(),
                       [](const DetectionArea& area) { return area.type == kMotionAreaType && area.active; });
}

}  // namespace korvane
