#pragma once
// Text helpers shared by the RTSP response and SDP parsers.
#include <string>
#include <vector>

namespace korvane::rtsp {

std::string Trim(const std::string& text);  // blanks and tabs
std::string ToLower(std::string text);
bool EqualsNoCase(const std::string& a, const std::string& b);
std::vector<std::string> SplitWords(const std::string& text, char separator);
bool IsAllDigits(const std::string& text);

// The value of parameter `name` in `text`: the item between a delimiter (or
// the start) and `separator` must equal the name after trimming; the value
// runs from the separator to the next delimiter (or the end), untrimmed.
// Empty when the name is absent or its value is empty.
std::string ParameterValue(const std::string& text, const std::string& name, const std::string& separator,
                           const char* delimiters);

}  // namespace korvane::rtsp
