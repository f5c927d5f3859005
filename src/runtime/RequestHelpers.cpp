#include "runtime/RequestHelpers.h"

#include "runtime/StringFormat.h"

namespace korvane::HUtils {

namespace {
constexpr char kOperation[] = "korvane::HUtils::RequestGetRD";
}

CResultDef RequestGetRD(Web::CHttpSender& sender, const std::string& path, std::vector<uint8_t>& body)
{
    CResultDef result;
    const DEVICE_INFO& device = sender.GetDeviceInfo();
    const std::string label = FormatString("device %s:%u", device.address.c_str(), device.port);
    body.clear();

    const bool sent = sender.Send(Web::CHttpRequest(path, "GET"));
    const uint32_t status = sender.GetStatusCode();
    // A 401 the sender could not answer with another scheme ends Send with the status kept.
    if (status == 0 || (!sent && status != 401)) {
        result.SetResultEx(4, kResultUnreachable, "%s: Cannot send request \"%s\" to %s", kOperation, path.c_str(),
                           label.c_str());
        return result;
    }
    if (status == 401) {
        result.SetResultEx(1, kResultUnauthorized, "%s: %s is unable to process \"%s\" request: credentials are invalid",
                           kOperation, label.c_str(), path.c_str());
    } else if (status == 404) {
        result.SetResultEx(1, kResultNotFound, "%s: The \"%s\" URL was not found on %s", kOperation, path.c_str(),
                           label.c_str());
    } else if (status / 100 != 2) {
        result.SetResultEx(1, kResultHttpStatus, "%s: %s is unable to process \"%s\" request. HTTP status code is %u",
                           kOperation, label.c_str(), path.c_str(), status);
    }
    if (!result.IsSuccess())
        return result;

    // A body shorter than the announced length was cut off on the way and is no reply either.
    const uint32_t announced = sender.GetContentLength();
    if (sender.ReadBody(body) == 0 || body.size() < announced)
        result.SetResultEx(2, kResultUnreadable, "%s: Incorrect response for request \"%s\" from %s", kOperation,
                           path.c_str(), label.c_str());
    return result;
}

bool RequestGetText(Web::CHttpSender& sender, const std::string& path, std::string& text)
{
    text.clear();
    std::vector<uint8_t> body;
    if (!RequestGetRD(sender, path, body).IsSuccess())
        return false;
    text.assign(body.begin(), body.end());
    return true;
}

bool RequestGet(Web::CHttpSender& sender, const std::string& path)
{
    std::vector<uint8_t> body;
    return RequestGetRD(sender, path, body).IsSuccess();
}

}  // namespace korvane::HUtils
