#pragma once
// A host for the capability query that records every call it receives as one
// line of text, in call order, and the query's outcome.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tallowcam/CapabilityQuery.h"

namespace korvane::test {

class CapabilityHost : public ipcapture::ICapabilityResult, public ipcapture::ICapabilityCallback {
    // Runs access under the lock (declared first: the accessors below deduce their types from it).
    template <typename Access>
    auto Locked(Access access) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return access();
    }

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
    void OnCompleted() override;
    void OnFailed(uint32_t status, const char* message) override;
    void OnTimeout() override;

    // True once the query completed or failed within the time-out.
    bool WaitForOutcome(uint32_t timeoutMs) { return WaitForOutcomes(1, timeoutMs); }
    // True once count queries reported to this callback within the time-out.
    bool WaitForOutcomes(size_t count, uint32_t timeoutMs);
    bool IsFinished() const { return Locked([&] { return m_outcomes > 0; }); }
    bool HasCompleted() const { return Locked([&] { return m_completed; }); }
    // The last failure's status and message; nullopt unless a query failed.
    std::optional<uint32_t> FailureStatus() const { return Locked([&] { return m_failureStatus; }); }
    std::string FailureMessage() const { return Locked([&] { return m_failureMessage; }); }
    bool HasTimedOut() const { return Locked([&] { return m_timedOut; }); }
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
    // Records the outcome's line once `note` has kept it, and wakes the waiters.
    void Finish(std::string line, const std::function<void()>& note);

    mutable std::mutex m_mutex;
    std::condition_variable m_finished;
    std::vector<Entry> m_entries;
    std::map<std::string, std::unique_ptr<Lister>> m_listers;
    std::vector<std::unique_ptr<Parameter>> m_parameters;
    size_t m_outcomes = 0;
    bool m_completed = false;
    bool m_timedOut = false;
    std::optional<uint32_t> m_failureStatus;
    std::string m_failureMessage;
};

}  // namespace korvane::test
