#pragma once
// The open audio channels of one audio adapter, by the host's audio channel
// id, with a limit on how many may be open. Channels are created, opened,
// closed and deleted outside the lock; the map changes only under it.
#include <cstdint>
#include <map>
#include <memory>
#include <utility>

#include "runtime/RecursiveLock.h"

namespace korvane {

// TChannel offers Open() and Close() returning bool.
template <typename TChannel>
class TAudioChannelTable {
public:
    explicit TAudioChannelTable(uint32_t limit) : m_limit(limit) {}
    ~TAudioChannelTable() { CloseAll(); }
    TAudioChannelTable(const TAudioChannelTable&) = delete;
    TAudioChannelTable& operator=(const TAudioChannelTable&) = delete;

    uint32_t Count()
    {
        CAutoLock guard(m_lock);
        return static_cast<uint32_t>(m_channels.size());
    }

    // True when the id is open already or a channel made by create opened;
    // nothing is created while the limit is reached.
    template <typename Create>
    bool Open(uint32_t id, Create create)
    {
        {
            CAutoLock guard(m_lock);
            if (m_channels.count(id) != 0)
                return true;
            if (m_channels.size() >= m_limit)
                return false;
        }
        std::unique_ptr<TChannel> channel(create());
        if (channel == nullptr)
            return false;
        if (!channel->Open()) {
            channel->Close();
            return false;
        }
        bool isOpen = false;
        {
            CAutoLock guard(m_lock);
            isOpen = m_channels.count(id) != 0;  // a concurrent open of the same id won
            if (!isOpen && m_channels.size() < m_limit) {
                m_channels.emplace(id, std::move(channel));
                return true;
            }
        }
        channel->Close();
        return isOpen;
    }

    // The channel's close result; false for an unknown id.
    bool Close(uint32_t id)
    {
        std::unique_ptr<TChannel> channel;
        {
            CAutoLock guard(m_lock);
            auto found = m_channels.find(id);
            if (found == m_channels.end())
                return false;
            channel = std::move(found->second);
            m_channels.erase(found);
        }
        return channel->Close();
    }

    // Calls action with the channel under the lock; false for an unknown id.
    template <typename Action>
    bool WithChannel(uint32_t id, Action action)
    {
        CAutoLock guard(m_lock);
        auto found = m_channels.find(id);
        if (found == m_channels.end())
            return false;
        action(*found->second);
        return true;
    }

    void CloseAll()
    {
        std::map<uint32_t, std::unique_ptr<TChannel>> channels;
        {
            CAutoLock guard(m_lock);
            channels.swap(m_channels);
        }
        for (auto& entry : channels) {
            entry.second->Close();
            entry.second.reset();
        }
    }

private:
    CRecursiveLock m_lock;
    std::map<uint32_t, std::unique_ptr<TChannel>> m_channels;
    const uint32_t m_limit;
};

}  // namespace korvane
