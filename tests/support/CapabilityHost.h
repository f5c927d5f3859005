#pragma once
// A host for the capability query that records every call it receives as one
// line of text, in call order, and the query's outcome.
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/Guarded.h"
#include "tallowcam/CapabilityQuery.h"

namespace korvane::test {

class CapabilityHost : public ipcapture::ICapabilityResult, public ipcapture::ICapabilityCallback, private Guarded {
public:
    CapabilityHost();
    ~CapabilityHost() override;

    // ICapabilityResult
    void SetValue(uint32_t capabilityId, uint32_t value) override;
    void SetDeviceName(const char* name) override;
    ipcapture::ICapabilityField* GetConnectionField(uint32_t index) override;
    ipcapture::ICapabilityParameter* AddParameter(uint32_t number) override;
    ipcapture::IResolutionList* GetResolutionList() override;
    ipcapture::IFrameRateList* GetFrameRateList(uint32_t group) override;

    // ICapabilityCallback
    void OnCompleted() override { Finish("completed"); }
    void OnFailed(uint32_t status, const char* message) override { Finish(FailureLine(status, message)); }
    void OnTimeout() override { Record("timeout"); }

    // True once the query completed or failed within the time-out.
    bool WaitForOutcome(uint32_t timeoutMs) { return WaitForOutcomes(1, timeoutMs); }
    // True once count queries reported to this callback within the time-out.
    bool WaitForOutcomes(size_t count, uint32_t timeoutMs);
    // The line of the last outcome ("completed" or a FailureLine); empty before the first.
    std::string Outcome() const { return Locked([&] { return m_outcome; }); }
    static std::string FailureLine(uint32_t status, const char* message);
    // Every recorded line, each ending in "\n".
    std::string Text() const;

private:
    class Lister;
    class Parameter;
    struct Entry {
        std::string line;
        const Parameter* parameter = nullptr;  // rendered when the text is read
    };

    // The field or list object whose calls are recorded as lines starting with prefix.
    Lister* ListerFor(const std::string& prefix);
    void Record(std::string line);
    // Records the outcome's line and wakes the waiters.
    void Finish(const std::string& line);

    std::condition_variable m_finished;
    std::vector<Entry> m_entries;
    std::map<std::string, std::unique_ptr<Lister>> m_listers;
    std::vector<std::unique_ptr<Parameter>> m_parameters;
    size_t m_outcomes = 0;
    std::string m_outcome;
};

}  // namespace korvane::test
