#pragma once
// Per-object logger that drops a line equal to the previous one and thins out bursts.
#include <cstdint>
#include <string>

#include "runtime/RecursiveLock.h"

namespace korvane {

class IDebugMessage;

class CLoggerInstance {
public:
    explicit CLoggerInstance(IDebugMessage* target) : m_target(target) {}
    virtual ~CLoggerInstance() = default;

    // Never throws: a line without memory for it is dropped.
    void Log(uint32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void ResetLastMessage();

protected:
    void SetLogTarget(IDebugMessage* target) { m_target = target; }

private:
    bool ThinningAllows();

    IDebugMessage* m_target;
    uint32_t m_repeatCounter = 0;
    CRecursiveLock m_lock;
    std::string m_lastLine;
};

}  // namespace korvane
