#pragma once
// printf-style formatting into a string of exactly the needed length.
#include <cstdarg>
#include <string>

namespace korvane {

std::string FormatString(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatStringV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

}  // namespace korvane
