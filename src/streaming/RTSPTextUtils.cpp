#include "streaming/RTSPTextUtils.h"

#include <cctype>

namespace korvane::rtsp {

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string ToLower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && ToLower(a) == ToLower(b);
}

std::vector<std::string> SplitWords(const std::string& text, char separator)
{
    std::vector<std::string> words;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(separator, start);
        const size_t stop = end == std::string::npos ? text.size() : end;
        if (stop > start)
            words.push_back(text.substr(start, stop - start));
        start = stop + 1;
    }
    return words;
}

bool IsAllDigits(const std::string& text)
{
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

std::string ParameterValue(const std::string& text, const std::string& name, const std::string& separator,
                           const char* delimiters)
{
    for (size_t found = text.find(name); found != std::string::npos; found = text.find(name, found + 1)) {
        const size_t lastDelimiter = found == 0 ? std::string::npos : text.find_last_of(delimiters, found - 1);
        const size_t itemStart = lastDelimiter == std::string::npos ? 0 : lastDelimiter + 1;
        const size_t separatorAt = text.find(separator, found);
        if (separatorAt == std::string::npos)
            return std::string();
        if (Trim(text.substr(itemStart, separatorAt - itemStart)) != name)
            continue;
        const size_t valueStart = separatorAt + separator.size();
        const size_t valueEnd = text.find_first_of(delimiters, valueStart);
        return text.substr(valueStart, valueEnd == std::string::npos ? std::string::npos : valueEnd - valueStart);
    }
    return std::string();
}

}  // namespace korvane::rtsp
