#include "onvif/OnvifText.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>

namespace korvane {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string TrimBlanks(const std::string& text)
{
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

}  // namespace

std::string EscapeXml(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&apos;"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

std::string XPathLiteral(const std::string& text)
{
    if (text.find('"') == std::string::npos)
        return "\"" + text + "\"";
    if (text.find('\'') == std::string::npos)
        return "'" + text + "'";
    // Both quote characters: join double-quoted pieces with '"'.
    std::string literal = "concat(";
    size_t start = 0;
    for (;;) {
        const size_t quote = text.find('"', start);
        literal += "\"" + text.substr(start, quote - start) + "\"";
        if (quote == std::string::npos)
            break;
        literal += ", '\"', ";
        start = quote + 1;
    }
    return literal + ")";
}

uint32_t ParseUnsigned(const std::string& text)
{
    const std::string value = TrimBlanks(text);
    if (value.empty())
        return 0;
    uint64_t number = 0;
    for (const char c : value) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return 0;
        number = number * 10 + static_cast<uint64_t>(c - '0');
        if (number > std::numeric_limits<uint32_t>::max())
            return 0;
    }
    return static_cast<uint32_t>(number);
}

float ParseFloat(const std::string& text)
{
    const std::string value = TrimBlanks(text);
    if (value.empty())
        return 0.0f;
    char* end = nullptr;
    errno = 0;
    const float number = std::strtof(value.c_str(), &end);
    if (errno != 0 || end != value.c_str() + value.size())
        return 0.0f;
    return number;
}

}  // namespace korvane
