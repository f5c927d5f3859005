#pragma once
// The host side of the capability query: collects what the query reports
// into a CapabilityReport and waits for the outcome.
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tallowcam/CapabilityQuery.h"

namespace tallowcam_host {

struct ReportedResolution {
    std::string text;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frameValue = 0;
};

struct ReportedParameter {
    std::string name;
    std::string value;
    uint32_t kind = korvane::ipcapture::kParameterKindText;
};

enum class ProbeOutcome { Pending, Completed, Failed, TimedOut };

struct CapabilityReport {
    ProbeOutcome outcome = ProbeOutcome::Pending;
    uint32_t failureStatus = korvane::ipcapture::kCapabilityStatusOther;
    std::string failureMessage;
    std::string deviceName;
    std::map<uint32_t, std::string> connectionFields;  // 1 address, 2 port, 3 user, 4 password
    std::map<uint32_t, uint32_t> capabilities;         // capability id -> value
    std::vector<ReportedResolution> resolutions;
    std::map<uint32_t, std::vector<uint32_t>> frameRates;  // group -> frame values
    std::map<uint32_t, ReportedParameter> parameters;      // numbered parameters of the device

    bool Offers(uint32_t capabilityId) const;
};

class CapabilityProbe final : public korvane::ipcapture::ICapabilityResult,
                        public korvane::ipcapture::ICapabilityCallback {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    CapabilityProbe();
    ~CapabilityProbe();

    // False when the outcome did not arrive in time.
    bool WaitForOutcome(uint32_t timeoutMs);
    CapabilityReport Report() const;

    // ICapabilityResult
    void SetValue(uint32_t capabilityId, uint32_t value) override;
    void SetDeviceName(const char* name) override;
    korvane::ipcapture::ICapabilityField* GetConnectionField(uint32_t index) override;
    korvane::ipcapture::ICapabilityParameter* AddParameter(uint32_t number) override;
    korvane::ipcapture::IResolutionList* GetResolutionList() override;
    korvane::ipcapture::IFrameRateList* GetFrameRateList(uint32_t group) override;

    // ICapabilityCallback
    void OnCompleted() override;
    void OnFailed(uint32_t status, const char* message) override;
    void OnTimeout() override;

private:
    class Field;
    class Parameter;
    class ResolutionList;
    class FrameRateList;

    void Finish(ProbeOutcome outcome);

    mutable std::mutex m_mutex;  // the query reports on its worker thread
    std::condition_variable m_finished;
    CapabilityReport m_report;
    std::map<uint32_t, std::unique_ptr<Field>> m_fields;
    std::map<uint32_t, std::unique_ptr<Parameter>> m_parameters;
    std::unique_ptr<ResolutionList> m_resolutionList;
    std::map<uint32_t, std::unique_ptr<FrameRateList>> m_frameRateLists;
};

}  // namespace tallowcam_host
