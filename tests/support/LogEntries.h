#pragma once
// Log lines as "<level> <text>" entries, so that a test compares a whole log at once.
#include <string>
#include <vector>

#include "support/DriverHost.h"

namespace korvane::test {

// The entries of the lines from the given one on.
inline std::vector<std::string> LogEntries(const LogRecord& record, size_t from = 0)
{
    const std::vector<LogLine> lines = record.Lines();
    std::vector<std::string> entries;
    for (size_t i = from; i < lines.size(); ++i)
        entries.push_back(std::to_string(lines[i].level) + " " + lines[i].text);
    return entries;
}

}  // namespace korvane::test
