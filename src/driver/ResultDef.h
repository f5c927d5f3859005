#pragma once
// Outcome of an operation: severity (log level), code and text.
#include <cstdint>
#include <string>

namespace korvane {

enum : uint32_t {
    kResultSuccess = 0,
    kResultAborted = 2,
    kResultHttpStatus = 8,
    kResultNotFound = 9,
    kResultUnauthorized = 10,
    kResultUnreachable = 11,
    kResultUnreadable = 12,
    kResultUnparsable = 13,
};

class CResultDef {
public:
    CResultDef() = default;
    virtual ~CResultDef() = default;
    CResultDef(const CResultDef&) = default;
    CResultDef& operator=(const CResultDef&) = default;

    void SetResult(uint32_t severity, uint32_t code, const std::string& text);
    void SetResultEx(uint32_t severity, uint32_t code, const char* format, ...) __attribute__((format(printf, 4, 5)));

    bool IsSuccess() const { return m_code == kResultSuccess; }

    uint32_t m_severity = 3;
    uint32_t m_code = kResultSuccess;
    std::string m_text;
};

}  // namespace korvane
