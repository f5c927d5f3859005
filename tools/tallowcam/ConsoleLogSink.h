#pragma once
// Prints every log line the driver sends, with its level, on standard error,
// and keeps the last error line for the failure message.
#include <mutex>
#include <string>

#include "tallowcam/HostInterfaces.h"

namespace tallowcam_host {

class ConsoleLogSink final : public korvane::ipcapture::IDebugInfoSink {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    explicit ConsoleLogSink(bool printLines = true) : m_printLines(printLines) {}

    void OnDebugInfo(korvane::ipcapture::CDebugInfoIf* info) override;

    std::string LastError() const;

private:
    const bool m_printLines;
    mutable std::mutex m_mutex;  // lines come from every driver thread
    std::string m_lastError;
};

}  // namespace tallowcam_host
