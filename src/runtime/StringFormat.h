#pragma once
// printf-style formatting into a string of exactly the needed length.
#include <cstdarg>
#include <string>

namespace korvane {

std::string FormatString(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatStringV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));
// For the log and result paths, which must never throw: false, with the text
// empty, when there is no memory for the text.
bool FormatStringTo(std::string& text, const char* format, va_list args) noexcept
    __attribute__((format(printf, 2, 0)));

}  // namespace korvane
