#pragma once
// The list of formats a host offers to an audio output channel, and a check of
// audio state sequences against a table of allowed changes.
#include <cstdint>
#include <utility>
#include <vector>

#include "support/HostSlots.h"
#include "tallowcam/HostInterfaces.h"

namespace korvane::test {

class CFormatEntry : public ipcapture::IAudioFormatEntry {
public:
    CFormatEntry(uint32_t fourCC, bool enabled) : m_fourCC(fourCC), m_enabled(enabled) {}
    void Reserved1() override { UnassignedSlot("IAudioFormatEntry", 1); }
    uint32_t GetFourCC() override { return m_fourCC; }
    void Reserved3() override { UnassignedSlot("IAudioFormatEntry", 3); }
    void Reserved4() override { UnassignedSlot("IAudioFormatEntry", 4); }
    bool IsEnabled() override { return m_enabled; }

private:
    uint32_t m_fourCC;
    bool m_enabled;
};

class CFormatList : public ipcapture::IAudioFormatList {
public:
    void Add(uint32_t fourCC, bool enabled) { m_entries.emplace_back(fourCC, enabled); }
    uint32_t GetCount() override { return static_cast<uint32_t>(m_entries.size()); }
    ipcapture::IAudioFormatEntry* GetFormat(uint32_t index) override
    {
        return index < m_entries.size() ? &m_entries[index] : nullptr;
    }

private:
    std::vector<CFormatEntry> m_entries;
};

// True when every change of the sequence is one the table allows, starting from 0.
bool IsAllowedPath(const std::vector<std::pair<uint32_t, uint32_t>>& states,
                   const std::vector<std::vector<uint32_t>>& allowed);

}  // namespace korvane::test
