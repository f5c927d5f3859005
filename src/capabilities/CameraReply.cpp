#include "capabilities/CameraReply.h"

#include <algorithm>
#include <limits>

namespace korvane {

std::string GetValue(const std::string& reply, const std::string& key, const std::string& separator,
                     const std::string& lineSeparators)
{
    if (key.empty() || separator.empty() || lineSeparators.empty())
        return {};
    size_t searchFrom = 0;
    while (searchFrom < reply.size()) {
        const size_t found = reply.find(key, searchFrom);
        if (found == std::string::npos)
            break;
        const size_t previousBreak = found == 0 ? std::string::npos : reply.find_last_of(lineSeparators, found - 1);
        const size_t lineStart = previousBreak == std::string::npos ? 0 : previousBreak + 1;
        size_t lineEnd = reply.find_first_of(lineSeparators, found);
        if (lineEnd == std::string::npos)
            lineEnd = reply.size();
        const size_t separatorAt = reply.find(separator, found);
        if (separatorAt != std::string::npos && separatorAt < lineEnd &&
            StripBlanks(reply.substr(lineStart, separatorAt - lineStart)) == key) {
            const size_t valueStart = separatorAt + separator.size();
            return valueStart < lineEnd ? reply.substr(valueStart, lineEnd - valueStart) : std::string();
        }
        searchFrom = lineEnd + 1;
    }
    return {};
}

uint32_t GetUIntValue(const std::string& reply, const std::string& key, const std::string& separator,
                      const std::string& lineSeparators)
{
    // Leading decimal digits, saturated at the largest 32-bit value.
    const std::string value = StripBlanks(GetValue(reply, key, separator, lineSeparators));
    uint64_t number = 0;
    for (char c : value) {
        if (c < '0' || c > '9')
            break;
        number = std::min<uint64_t>(number * 10 + static_cast<uint64_t>(c - '0'), std::numeric_limits<uint32_t>::max());
    }
    return static_cast<uint32_t>(number);
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        if (end == std::string::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::string StripBlanks(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with)
{
    if (what.empty())
        return text;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

std::string SettingsValueRequest(const std::string& code)
{
    return "/admin/-set-?el=" + code;
}

std::string SettingsValueKey(const std::string& code)
{
    return "Val" + code;
}

std::string SettingsTypeRequest(const std::string& code)
{
    return "/admin/-set-?tl=" + code;
}

std::string SettingsTypeKey(const std::string& code)
{
    return "Typ" + code + "-0";
}

std::vector<std::string> ParseSettingsType(const std::string& type)
{
    std::string listed = type;
    for (const char* token : {"int%28", "%2C", "%29"})
        listed = ReplaceAll(listed, token, ",");
    std::vector<std::string> numbers;
    for (std::string& part : Split(listed, ','))
        if (!part.empty())
            numbers.push_back(std::move(part));
    return numbers;
}

}  // namespace korvane
