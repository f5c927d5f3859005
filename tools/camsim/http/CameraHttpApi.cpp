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
    } else if (request.method == "GET" && path == "/admin/-set-") {
        reply.body = m_model.SettingsReply(request.Query());
    } else if (request.method == "GET" && path == "/-wvhttp-01-/control.cgi") {
        reply.body = m_model.ControlReply(request.Query());
    } else if (request.method == "POST" && path == "/-wvaudio-01-/recv") {
        reply = AudioReply();
    } else {
        reply.status = 404;
        reply.body = "Not Found";
    }
    return reply;
}

// One piece "6" CR LF, the piece header 0x02 0x00 with the session number (big-endian), CR LF, and the end chunk.
HttpReply CameraHttpApi::AudioReply()
{
    const uint32_t session = ++m_audioSession;
    HttpReply reply;
    reply.contentType = "application/x-wva-100";
    reply.body = "6\r\n";
    reply.body += '\x02';
    reply.body += '\x00';
    for (int shift = 24; shift >= 0; shift -= 8)
        reply.body += static_cast<char>((session >> shift) & 0xFF);
    reply.body += "\r\n0\r\n\r\n";
    return reply;
}

}  // namespace camsim
