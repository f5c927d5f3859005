#include "events/DigitalIO.h"

#include <string>

#include "capabilities/CameraReply.h"
#include "driver/IDriver.h"
#include "runtime/RequestHelpers.h"
#include "runtime/StringFormat.h"

namespace korvane {

CDigitalIO::CDigitalIO(IDriver* driver)
    : CIOBase(driver), m_outputSender(*driver->GetDeviceInfo()), m_inputSender(*driver->GetDeviceInfo())
{
}

CDigitalIO::~CDigitalIO()
{
    StopIO();
}

bool CDigitalIO::WriteOutput(uint32_t index, uint32_t state)
{
    const int value = state == kIOStateOff ? 0 : 1;
    std::string reply;
    return HUtils::RequestGetText(m_outputSender, FormatString("/-wvhttp-01-/control.cgi?o.%u=%d", index + 1, value),
                                  reply);
}

bool CDigitalIO::ReadInputs(uint32_t count)
{
    std::string reply;
    if (!HUtils::RequestGetText(m_inputSender, "/-wvhttp-01-/info.cgi?item=i", reply))
        return false;
    for (uint32_t number = 1; number <= count; ++number) {
        const std::string value = GetValue(reply, FormatString("i.%u", number), kInfoSeparator, kReplyLineSeparators);
        UpdateInput(number - 1, value.find('1') != std::string::npos ? kIOStateOn : kIOStateOff);
    }
    return true;
}

void CDigitalIO::AbortRequests()
{
    m_outputSender.Abort();
    m_inputSender.Abort();
}

}  // namespace korvane
