#include "CapabilityProbe.h"

#include <chrono>

namespace tallowcam_host {

namespace ipc = korvane::ipcapture;

bool CapabilityReport::Offers(uint32_t capabilityId) const
{
    const auto found = capabilities.find(capabilityId);
    return found != capabilities.end() && found->second != 0;
}

// Each helper object writes into the probe's report under the probe's lock.
class CapabilityProbe::Field final : public ipc::ICapabilityField {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    Field(CapabilityProbe& probe, uint32_t index) : m_probe(probe), m_index(index) {}
    void SetText(const char* text) override
    {
        std::lock_guard<std::mutex> guard(m_probe.m_mutex);
        m_probe.m_report.connectionFields[m_index] = text != nullptr ? text : "";
    }

private:
    CapabilityProbe& m_probe;
    uint32_t m_index;
};

class CapabilityProbe::Parameter final : public ipc::ICapabilityParameter {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    Parameter(CapabilityProbe& probe, uint32_t number) : m_probe(probe), m_number(number) {}
    void SetValue(const char* value) override
    {
        Update([value](ReportedParameter& entry) { entry.value = value != nullptr ? value : ""; });
    }
    void SetKind(uint32_t kind) override
    {
        Update([kind](ReportedParameter& entry) { entry.kind = kind; });
    }
    void SetName(const char* name) override
    {
        Update([name](ReportedParameter& entry) { entry.name = name != nullptr ? name : ""; });
    }
    void SetAttribute(uint32_t) override {}

private:
    template <typename Change>
    void Update(Change change)
    {
        std::lock_guard<std::mutex> guard(m_probe.m_mutex);
        change(m_probe.m_report.parameters[m_number]);
    }

    CapabilityProbe& m_probe;
    uint32_t m_number;
};

class CapabilityProbe::ResolutionList final : public ipc::IResolutionList {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    explicit ResolutionList(CapabilityProbe& probe) : m_probe(probe) {}
    void Add(const char* text, uint32_t width, uint32_t height, uint32_t frameValue) override
    {
        std::lock_guard<std::mutex> guard(m_probe.m_mutex);
        m_probe.m_report.resolutions.push_back({text != nullptr ? text : "", width, height, frameValue});
    }

private:
    CapabilityProbe& m_probe;
};

class CapabilityProbe::FrameRateList final : public ipc::IFrameRateList {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    FrameRateList(CapabilityProbe& probe, uint32_t group) : m_probe(probe), m_group(group) {}
    void Add(uint32_t frameValue) override
    {
        std::lock_guard<std::mutex> guard(m_probe.m_mutex);
        m_probe.m_report.frameRates[m_group].push_back(frameValue);
    }

private:
    CapabilityProbe& m_probe;
    uint32_t m_group;
};

CapabilityProbe::CapabilityProbe() : m_resolutionList(std::make_unique<ResolutionList>(*this)) {}

CapabilityProbe::~CapabilityProbe() = default;

bool CapabilityProbe::WaitForOutcome(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_finished.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [this] { return m_report.outcome != ProbeOutcome::Pending; });
}

CapabilityReport CapabilityProbe::Report() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_report;
}

void CapabilityProbe::SetValue(uint32_t capabilityId, uint32_t value)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_report.capabilities[capabilityId] = value;
}

void CapabilityProbe::SetDeviceName(const char* name)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_report.deviceName = name != nullptr ? name : "";
}

ipc::ICapabilityField* CapabilityProbe::GetConnectionField(uint32_t index)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::unique_ptr<Field>& field = m_fields[index];
    if (field == nullptr)
        field = std::make_unique<Field>(*this, index);
    return field.get();
}

ipc::ICapabilityParameter* CapabilityProbe::AddParameter(uint32_t number)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_report.parameters[number];
    std::unique_ptr<Parameter>& parameter = m_parameters[number];
    if (parameter == nullptr)
        parameter = std::make_unique<Parameter>(*this, number);
    return parameter.get();
}

ipc::IResolutionList* CapabilityProbe::GetResolutionList()
{
    return m_resolutionList.get();
}

ipc::IFrameRateList* CapabilityProbe::GetFrameRateList(uint32_t group)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::unique_ptr<FrameRateList>& list = m_frameRateLists[group];
    if (list == nullptr)
        list = std::make_unique<FrameRateList>(*this, group);
    return list.get();
}

void CapabilityProbe::OnCompleted()
{
    Finish(ProbeOutcome::Completed);
}

void CapabilityProbe::OnFailed(uint32_t status, const char* message)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_report.failureStatus = status;
        m_report.failureMessage = message != nullptr ? message : "";
    }
    Finish(ProbeOutcome::Failed);
}

void CapabilityProbe::OnTimeout()
{
    Finish(ProbeOutcome::TimedOut);
}

void CapabilityProbe::Finish(ProbeOutcome outcome)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_report.outcome == ProbeOutcome::Pending)
            m_report.outcome = outcome;
    }
    m_finished.notify_all();
}

}  // namespace tallowcam_host
