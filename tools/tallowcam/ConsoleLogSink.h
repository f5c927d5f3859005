#pragma once
// Prints every log line the driver sends, with its level.
#include <mutex>

#include "tallowcam/HostInterfaces.h"

namespace tallowcam_host {

class ConsoleLogSink : public korvane::ipcapture::IDebugInfoSink {
public:
    void OnDebugInfo(korvane::ipcapture::CDebugInfoIf* info) override;

private:
    std::mutex m_mutex;  // lines come from every driver thread
};

}  // namespace tallowcam_host
