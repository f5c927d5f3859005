#include "camsim/http/CameraHttpApi.h"

namespace camsim {

namespace {

std::string ItemOf(const std::string& query)
{
    for (const auto& [name, value] : SplitQuery(query)) {
        if (name == "item")
            return value;
    }
    return {};
}

}  // namespace

HttpReply CameraHttpApi::Handle(const RecordedRequest& request)
{
    const std::string path = request.Path();
    HttpReply reply;
    if (request.method == "GET" && path == "/-wvhttp-01-/info.cgi") {
        reply.body = m_model.InfoReply(ItemOf(request.Query()));
    } else if (request.method == "GET" && path == "/admin/-set-" && m_audio.RefusesSettings(request.Query())) {
        reply.status = 403;
        reply.body = "Forbidden";
    } else if (request.method == "GET" && path == "/admin/-set-") {
        reply.body = m_model.SettingsReply(request.Query());
    } else if (request.method == "GET" && path == "/-wvhttp-01-/control.cgi") {
        reply.body = m_model.ControlReply(request.Query());
    } else if (request.method == "POST" && path == "/-wvaudio-01-/recv") {
        reply = m_audio.Receive(request);
    } else {
        reply.status = 404;
        reply.body = "Not Found";
    }
    return reply;
}

}  // namespace camsim
