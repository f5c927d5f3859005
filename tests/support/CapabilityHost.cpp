#include "support/CapabilityHost.h"

#include <chrono>

namespace korvane::test {

namespace {

std::string Quoted(const char* text)
{
    return text == nullptr ? std::string("(null)") : "\"" + std::string(text) + "\"";
}

}  // namespace

class CapabilityHost::Field : public ipcapture::ICapabilityField {
public:
    Field(CapabilityHost& host, uint32_t index) : m_host(host), m_index(index) {}
    void SetText(const char* text) override
    {
        m_host.Record("connection " + std::to_string(m_index) + " = " + Quoted(text));
    }

private:
    CapabilityHost& m_host;
    uint32_t m_index;
};

class CapabilityHost::ResolutionList : public ipcapture::IResolutionList {
public:
    explicit ResolutionList(CapabilityHost& host) : m_host(host) {}
    void Add(const char* text, uint32_t width, uint32_t height, uint32_t frameValue) override
    {
        m_host.Record("resolution " + Quoted(text) + " " + std::to_string(width) + " " + std::to_string(height) +
                      " " + std::to_string(frameValue));
    }

private:
    CapabilityHost& m_host;
};

class CapabilityHost::FrameRateList : public ipcapture::IFrameRateList {
public:
    FrameRateList(CapabilityHost& host, uint32_t group) : m_host(host), m_group(group) {}
    void Add(uint32_t frameValue) override
    {
        m_host.Record("frame rate " + std::to_string(m_group) + " " + std::to_string(frameValue));
    }

private:
    CapabilityHost& m_host;
    uint32_t m_group;
};

// Collects the item's fields; rendered as one line when the text is read.
class CapabilityHost::Parameter : public ipcapture::ICapabilityParameter {
public:
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
        return "parameter " + std::to_string(m_number) + " " + m_name + " (" + m_kind + ", attribute " + m_attribute +
               ") = " + m_value;
    }

private:
    void Set(std::string& field, const std::string& text)
    {
        std::lock_guard<std::mutex> lock(m_host.m_mutex);
        field = text;
    }

    CapabilityHost& m_host;
    const uint32_t m_number;
    std::string m_name = "(unnamed)";
    std::string m_kind = "no kind";
    std::string m_attribute = "unset";
    std::string m_value = "(no value)";
};

CapabilityHost::CapabilityHost() = default;
CapabilityHost::~CapabilityHost() = default;

void CapabilityHost::SetValue(uint32_t capabilityId, uint32_t value)
{
    Record("value " + std::to_string(capabilityId) + " = " + std::to_string(value));
}

void CapabilityHost::SetDeviceName(const char* name)
{
    Record("device name = " + Quoted(name));
}

ipcapture::ICapabilityField* CapabilityHost::GetConnectionField(uint32_t index)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::unique_ptr<Field>& field = m_fields[index];
    if (!field)
        field = std::make_unique<Field>(*this, index);
    return field.get();
}

ipcapture::ICapabilityParameter* CapabilityHost::AddParameter(uint32_t number)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_parameters.push_back(std::make_unique<Parameter>(*this, number));
    m_entries.push_back({std::string(), m_parameters.back().get()});
    return m_parameters.back().get();
}

ipcapture::IResolutionList* CapabilityHost::GetResolutionList()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_resolutions)
        m_resolutions = std::make_unique<ResolutionList>(*this);
    return m_resolutions.get();
}

ipcapture::IFrameRateList* CapabilityHost::GetFrameRateList(uint32_t group)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::unique_ptr<FrameRateList>& list = m_frameRates[group];
    if (!list)
        list = std::make_unique<FrameRateList>(*this, group);
    return list.get();
}

void CapabilityHost::OnCompleted()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_completed = true;
    }
    Finish("completed");
}

void CapabilityHost::OnFailed(uint32_t status, const char* message)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failureStatus = status;
        m_failureMessage = message == nullptr ? "" : message;
    }
    Finish("failed " + std::to_string(status) + " " + Quoted(message));
}

void CapabilityHost::OnTimeout()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_timedOut = true;
    }
    Record("timeout");
}

bool CapabilityHost::WaitForOutcomes(size_t count, uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_finished.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_outcomes >= count; });
}

bool CapabilityHost::IsFinished() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_outcomes > 0;
}

bool CapabilityHost::HasCompleted() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_completed;
}

std::optional<uint32_t> CapabilityHost::FailureStatus() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failureStatus;
}

std::string CapabilityHost::FailureMessage() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failureMessage;
}

bool CapabilityHost::HasTimedOut() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_timedOut;
}

std::string CapabilityHost::Text() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string text;
    for (const Entry& entry : m_entries)
        text += (entry.parameter ? entry.parameter->Render() : entry.line) + "\n";
    return text;
}

void CapabilityHost::Record(std::string line)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.push_back({std::move(line), nullptr});
}

void CapabilityHost::Finish(std::string line)
{
    // Under the lock: a waiter woken by the outcome may destroy the host at once.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.push_back({std::move(line), nullptr});
    ++m_outcomes;
    m_finished.notify_all();
}

}  // namespace korvane::test
