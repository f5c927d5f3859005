#include "ptz/PrepositionList.h"

#include <algorithm>
#include <iterator>

#include "tallowcam/PtzInterfaces.h"

namespace korvane {

namespace {

constexpr char kForbiddenNameCharacters[] = "%&!<>'\"";

// The name as a log line shows it: "%" would read as a format directive.
std::string LoggedName(const std::string& name)
{
    std::string logged;
    for (const char c : name)
        logged += c == '%' ? std::string("&percent;") : std::string(1, c);
    return logged;
}

}  // namespace

bool CPrepositionList::Init(IPrepositionComm* comm, uint32_t maximum)
{
    Clear();
    if (comm == nullptr)
        return false;
    m_comm = comm;
    m_maximum = maximum;
    Load();
    return true;
}

void CPrepositionList::Release()
{
    Clear();
    m_comm = nullptr;
}

void CPrepositionList::Clear()
{
    CAutoLock guard(m_lock);
    m_loaded = false;
    m_current.reset();
    m_entries.clear();
}

bool CPrepositionList::Load()
{
    if (m_comm == nullptr) {
        Clear();
        return false;
    }
    {
        CAutoLock guard(m_lock);
        if (m_loaded || m_maximum == 0)
            return true;
    }
    std::vector<PREPOSITION> loaded;
    if (!m_comm->SendCommand_LoadPrepositions(loaded)) {
        Clear();
        return false;
    }
    CAutoLock guard(m_lock);
    m_current.reset();
    m_entries.clear();
    std::copy_if(loaded.begin(), loaded.end(), std::back_inserter(m_entries),
                 [](const PREPOSITION& entry) { return entry.IsComplete(); });
    m_loaded = true;
    return true;
}

uint32_t CPrepositionList::GetPrepositionCount()
{
    Load();
    CAutoLock guard(m_lock);
    return m_loaded ? static_cast<uint32_t>(m_entries.size()) : 0;
}

bool CPrepositionList::GetPrepositionName(int32_t index, std::string& name)
{
    CAutoLock guard(m_lock);
    name.clear();
    if (index < 0 || static_cast<size_t>(index) >= m_entries.size())
        return false;
    name = m_entries[static_cast<size_t>(index)].name;
    return true;
}

bool CPrepositionList::GetCurrentPreposition(std::string& name)
{
    CAutoLock guard(m_lock);
    name = m_current.has_value() ? m_current->name : std::string();
    return m_current.has_value();
}

void CPrepositionList::ResetCurrent()
{
    CAutoLock guard(m_lock);
    m_current.reset();
}

bool CPrepositionList::IsPrepositionNameCorrect(const std::string& name) const
{
    if (!name.empty() && name.find_first_of(kForbiddenNameCharacters) == std::string::npos)
        return true;
    if (m_comm != nullptr)
        m_comm->DebugMessage(kLogError, "%s: A preposition \"%s\" cannot be added - the name is invalid.",
                             "korvane::CPrepositionList::IsPrepositionNameCorrect", LoggedName(name).c_str());
    return false;
}

bool CPrepositionList::CanNewPrepositionBeAdded(const std::string& name)
{
    if (GetPrepositionCount() < m_maximum)
        return true;
    if (m_comm != nullptr)
        m_comm->DebugMessage(
            kLogError, "%s: A preposition \"%s\" cannot be added. Camera supports saving not more than %u prepositions.",
            "korvane::CPrepositionList::CanNewPrepositionBeAdded", LoggedName(name).c_str(), m_maximum);
    return false;
}

int32_t CPrepositionList::SetPreposition(const std::string& name)
{
    if (!IsPrepositionNameCorrect(name))
        return kPtzInvalidArgument;
    std::optional<PREPOSITION> current;
    {
        CAutoLock guard(m_lock);
        current = m_current;
    }
    // Standing at a preset, the camera overwrites it: same token, new name and position.
    if (current.has_value())
        return Store(PREPOSITION{current->token, name});
    if (!CanNewPrepositionBeAdded(name))
        return kPtzPresetLimit;
    return Store(PREPOSITION{std::string(), name});
}

int32_t CPrepositionList::Store(PREPOSITION entry)
{
    if (entry.name.empty() || m_comm == nullptr || !m_comm->SendCommand_SetPreposition(entry))
        return kPtzFailure;
    // A preset the camera names no token for cannot be recalled or deleted.
    if (entry.token.empty())
        return kPtzFailure;
    CAutoLock guard(m_lock);
    auto same = std::find_if(m_entries.begin(), m_entries.end(),
                             [&entry](const PREPOSITION& stored) { return stored.token == entry.token; });
    if (same != m_entries.end())
        same->name = entry.name;
    else
        m_entries.push_back(entry);
    m_current = entry;
    return kPtzSuccess;
}

std::optional<PREPOSITION> CPrepositionList::Find(const std::string& name) const
{
    CAutoLock guard(m_lock);
    auto found = std::find_if(m_entries.begin(), m_entries.end(),
                              [&name](const PREPOSITION& entry) { return entry.name == name; });
    if (found == m_entries.end())
        return std::nullopt;
    return *found;
}

bool CPrepositionList::MoveToPreposition(const std::string& name, int32_t speed)
{
    const std::optional<PREPOSITION> entry = Find(name);
    if (m_comm == nullptr || !entry.has_value() || !m_comm->SendCommand_MoveToPreposition(*entry, speed))
        return false;
    CAutoLock guard(m_lock);
    m_current = entry;
    return true;
}

bool CPrepositionList::DeletePreposition(const std::string& name)
{
    const std::optional<PREPOSITION> entry = Find(name);
    if (m_comm == nullptr || !entry.has_value() || !m_comm->SendCommand_DeletePreposition(*entry))
        return false;
    CAutoLock guard(m_lock);
    m_current.reset();
    const auto removed = std::remove_if(m_entries.begin(), m_entries.end(),
                                        [&entry](const PREPOSITION& stored) { return stored.token == entry->token; });
    const bool any = removed != m_entries.end();
    m_entries.erase(removed, m_entries.end());
    return any;
}

}  // namespace korvane
