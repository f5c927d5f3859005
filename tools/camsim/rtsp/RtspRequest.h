#pragma once
// One RTSP request as the simulator reads it: method, URL, headers.
#include <string>

namespace camsim {

struct RtspRequest {
    std::string text;  // as received
    std::string method;
    std::string url;

    // Parses the request line; false when it is not "METHOD URL RTSP/1.0".
    bool Parse(const std::string& requestText);
    // Value of a header (name compared case-insensitively), trimmed; empty when absent.
    std::string Header(const std::string& name) const;
};

// Value of `name=` in a ';'-separated header value such as Transport; empty when absent.
std::string HeaderParameter(const std::string& value, const std::string& name);

}  // namespace camsim
