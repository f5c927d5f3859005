#pragma once
// A PTZ channel's presets: the cached list of the camera's presets, the one
// the camera is known to stand at, and the rules for names and capacity. The
// camera is asked through IPrepositionComm, on the caller's thread; the list
// changes only after the camera confirmed.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ptz/PrepositionComm.h"
#include "runtime/RecursiveLock.h"

namespace korvane {

class CPrepositionList {
public:
    explicit CPrepositionList(uint32_t channel) : m_channel(channel) {}
    virtual ~CPrepositionList() = default;
    CPrepositionList(const CPrepositionList&) = delete;
    CPrepositionList& operator=(const CPrepositionList&) = delete;

    // Loads when not loaded yet; 0 while the list cannot be loaded.
    virtual uint32_t GetPrepositionCount();
    // False and empty when index is out of range.
    virtual bool GetPrepositionName(int32_t index, std::string& name);
    // False and empty when the camera has moved since its last preset.
    virtual bool GetCurrentPreposition(std::string& name);
    // kPtzSuccess, kPtzInvalidArgument (name), kPtzPresetLimit or kPtzFailure.
    virtual int32_t SetPreposition(const std::string& name);
    virtual bool MoveToPreposition(const std::string& name, int32_t speed);
    virtual bool DeletePreposition(const std::string& name);

    // Empties the list, then loads it from the camera; false only for a null comm.
    bool Init(IPrepositionComm* comm, uint32_t maximum);
    // Empties the list and forgets the comm, before the comm goes.
    void Release();
    // The camera has moved away from its preset.
    void ResetCurrent();

    uint32_t GetMaximum() const { return m_maximum; }

private:
    bool Load();
    void Clear();
    bool IsPrepositionNameCorrect(const std::string& name) const;
    bool CanNewPrepositionBeAdded(const std::string& name);
    int32_t Store(PREPOSITION entry);
    std::optional<PREPOSITION> Find(const std::string& name) const;

    uint32_t m_channel;
    IPrepositionComm* m_comm = nullptr;
    uint32_t m_maximum = 0;
    bool m_loaded = false;
    mutable CRecursiveLock m_lock;  // guards m_current and m_entries
    std::optional<PREPOSITION> m_current;
    std::vector<PREPOSITION> m_entries;
};

}  // namespace korvane
