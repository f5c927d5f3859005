#pragma once
// Camera reply formats. Information replies ("/-wvhttp-01-/...") hold lines of
// key ":=" value; settings replies ("/admin/-set-?...") lines of key "=" value.
// A settings value request "el=<code>" is answered by "Val<code>=<value>", a
// type request "tl=<code>" by "Typ<code>-0=<type>" with a URL-encoded type such
// as "int%281%2C30%29" (int(1,30)).
#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

constexpr const char* kInfoSeparator = ":=";
constexpr const char* kSettingsSeparator = "=";
constexpr const char* kReplyLineSeparators = "\r\n";

// The value of the first line whose name (stripped of blanks) is exactly key:
// everything after the line's separator up to the line end. Empty when no
// line matches or key, separator or line separators are empty.
std::string GetValue(const std::string& reply, const std::string& key, const std::string& separator,
                     const std::string& lineSeparators);
// The value's leading decimal digits as a number; 0 when missing, empty or
// not starting with a digit.
uint32_t GetUIntValue(const std::string& reply, const std::string& key, const std::string& separator,
                      const std::string& lineSeparators);
// The texts between occurrences of the character (one more than there are
// occurrences, empty texts included).
std::vector<std::string> Split(const std::string& text, char separator);

// Text without leading and trailing spaces and tabs.
std::string StripBlanks(const std::string& text);
// Every occurrence of what replaced by with.
std::string ReplaceAll(std::string text, const std::string& what, const std::string& with);

// Settings requests and the keys of their answers.
std::string SettingsValueRequest(const std::string& code);  // "/admin/-set-?el=<code>"
std::string SettingsValueKey(const std::string& code);      // "Val<code>"
std::string SettingsTypeRequest(const std::string& code);   // "/admin/-set-?tl=<code>"
std::string SettingsTypeKey(const std::string& code);       // "Typ<code>-0"
// The numbers of a type such as "int%281%2C30%29": {"1", "30"}.
std::vector<std::string> ParseSettingsType(const std::string& type);

}  // namespace korvane
