#include "camsim/rtsp/RtspRequest.h"

#include <sstream>
#include <strings.h>

namespace camsim {

namespace {

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool RtspRequest::Parse(const std::string& requestText)
{
    text = requestText;
    std::istringstream line(text.substr(0, text.find("\r\n")));
    std::string protocol;
    line >> method >> url >> protocol;
    return !method.empty() && !url.empty() && protocol == "RTSP/1.0";
}

std::string RtspRequest::Header(const std::string& name) const
{
    size_t start = text.find("\r\n");
    while (start != std::string::npos && start + 2 < text.size()) {
        start += 2;
        const size_t end = text.find("\r\n", start);
        const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const size_t colon = line.find(':');
        if (colon != std::string::npos && strcasecmp(Trim(line.substr(0, colon)).c_str(), name.c_str()) == 0)
            return Trim(line.substr(colon + 1));
        start = end;
    }
    return std::string();
}

std::string HeaderParameter(const std::string& value, const std::string& name)
{
    std::istringstream parts(value);
    std::string part;
    while (std::getline(parts, part, ';')) {
        const size_t equals = part.find('=');
        if (Trim(part.substr(0, equals)) == name)
            return equals == std::string::npos ? std::string("") : Trim(part.substr(equals + 1));
    }
    return std::string();
}

}  // namespace camsim
