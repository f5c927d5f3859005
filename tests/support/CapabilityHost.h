#pragma once
// A host for the capability query that records every call it receives as one
// line of text, in call order, and the query's outcome.
#include <chrono>
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
    TALLOWCAM_DELETING_DESTRUCTOR
    virtual ~CapabilityHost() = default;  // tests derive their hosts from it
    // ICapabilityResult
    void SetValue(uint32_t capabilityId, uint32_t value) override
    {
        Record("value " + std::to_string(capabilityId) + " = " + std::to_string(value));
    }
    void SetDeviceName(const char* name) override { Record("device name = " + Quoted(name)); }
    ipcapture::ICapabilityField* GetConnectionField(uint32_t index) override
    {
        return ListerFor("connection " + std::to_string(index));
    }
    ipcapture::ICapabilityParameter* AddParameter(uint32_t number) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_parameters.push_back(std::make_unique<Parameter>(*this, number));
        m_entries.push_back({std::string(), m_parameters.back().get()});
        return m_parameters.back().get();
    }
    ipcapture::IResolutionList* GetResolutionList() override { return ListerFor("resolution"); }
    ipcapture::IFrameRateList* GetFrameRateList(uint32_t group) override
    {
        return ListerFor("frame rate " + std::to_string(group));
    }

    // ICapabilityCallback
    void OnCompleted() override { Finish("completed"); }
    void OnFailed(uint32_t status, const char* message) override { Finish(FailureLine(status, message)); }
    void OnTimeout() override { Record("timeout"); }

    // True once the query completed or failed within the time-out.
    bool WaitForOutcome(uint32_t timeoutMs) { return WaitForOutcomes(1, timeoutMs); }
    // True once count queries reported to this callback within the time-out.
    bool WaitForOutcomes(size_t count, uint32_t timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_finished.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_outcomes >= count; });
    }
    // The line of the last outcome ("completed" or a FailureLine); empty before the first.
    std::string Outcome() const { return Locked([&] { return m_outcome; }); }
    static std::string FailureLine(uint32_t status, const char* message)
    {
        return "failed " + std::to_string(status) + " " + Quoted(message);
    }
    // Every recorded line, each ending in "\n".
    std::string Text() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string text;
        for (const Entry& entry : m_entries)
            text += (entry.parameter ? entry.parameter->Render() : entry.line) + "\n";
        return text;
    }

private:
    static std::string Quoted(const char* text)
    {
        return text == nullptr ? std::string("(null)") : "\"" + std::string(text) + "\"";
    }

    class Lister final : public ipcapture::ICapabilityField,
                   public ipcapture::IResolutionList,
                   public ipcapture::IFrameRateList {
    public:
        TALLOWCAM_DELETING_DESTRUCTOR
        Lister(CapabilityHost& host, std::string prefix) : m_host(host), m_prefix(std::move(prefix)) {}
        void SetText(const char* text) override { m_host.Record(m_prefix + " = " + Quoted(text)); }
        void Add(const char* text, uint32_t width, uint32_t height, uint32_t frameValue) override
        {
            m_host.Record(m_prefix + " " + Quoted(text) + " " + std::to_string(width) + " " + std::to_string(height) +
                          " " + std::to_string(frameValue));
        }
        void Add(uint32_t frameValue) override { m_host.Record(m_prefix + " " + std::to_string(frameValue)); }

    private:
        CapabilityHost& m_host;
        const std::string m_prefix;
    };

    // Collects the item's fields; rendered as one line when the text is read.
    class Parameter final : public ipcapture::ICapabilityParameter {
    public:
        TALLOWCAM_DELETING_DESTRUCTOR
        Parameter(CapabilityHost& host, uint32_t number) : m_host(host), m_number(number) {}
        void SetValue(const char* value) override { Set(m_value, Quoted(value)); }
        void SetKind(uint32_t kind) override
        {
            Set(m_kind, kind == ipcapture::kParameterKindText     ? "text"
                        : kind == ipcapture::kParameterKindNumber ? "number"
                                                                  : "kind " + std::to_string(kind));
        }
        void SetName(const char* name) override { Set(m_name, Quoted(name)); }
        void SetAttribute(uint32_t attribute) override { Set(m_attribute, std::to_string(attribute)); }

        // Caller holds the host's lock.
        std::string Render() const
        {
            return "parameter " + std::to_string(m_number) + " " + m_name + " (" + m_kind + ", attribute " +
                   m_attribute + ") = " + m_value;
        }

    private:
        void Set(std::string& field, const std::string& text)
        {
            m_host.Locked([&] { field = text; });
        }

        CapabilityHost& m_host;
        const uint32_t m_number;
        std::string m_name = "(unnamed)", m_kind = "no kind";
        std::string m_attribute = "unset", m_value = "(no value)";
    };

    struct Entry {
        std::string line;
        const Parameter* parameter = nullptr;  // rendered when the text is read
    };

    // The field or list object whose calls are recorded as lines starting with prefix.
    Lister* ListerFor(const std::string& prefix)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::unique_ptr<Lister>& lister = m_listers[prefix];
        if (!lister)
            lister = std::make_unique<Lister>(*this, prefix);
        return lister.get();
    }
    void Record(std::string line)
    {
        Locked([&] { m_entries.push_back({std::move(line), nullptr}); });
    }
    // Records the outcome's line and wakes the waiters.
    void Finish(const std::string& line)
    {
        // Under the lock: a waiter woken by the outcome may destroy the host at once.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_outcome = line;
        m_entries.push_back({line, nullptr});
        ++m_outcomes;
        m_finished.notify_all();
    }

    std::condition_variable m_finished;
    std::vector<Entry> m_entries;
    std::map<std::string, std::unique_ptr<Lister>> m_listers;
    std::vector<std::unique_ptr<Parameter>> m_parameters;
    size_t m_outcomes = 0;
    std::string m_outcome;
};

}  // namespace korvane::test
