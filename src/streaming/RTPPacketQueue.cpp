#include "streaming/RTPPacketQueue.h"

#include <utility>

namespace korvane {

bool CRTPPacketQueue::Append(platform::ReceivedDatagram* datagrams, size_t count)
{
    CAutoLock guard(m_lock);
    const size_t queuedBefore = m_queue.size();
    for (size_t i = 0; i < count; ++i) {
        platform::ReceivedDatagram& datagram = datagrams[i];
        std::unique_ptr<RTPPacketRecord> record = TakeSpare();
        std::swap(record->datagram, datagram.buffer);
        if (!record->packet.Parse(record->datagram.Data(), datagram.length)) {
            std::swap(record->datagram, datagram.buffer);  // nothing kept: the datagram's buffer stays
            Keep(std::move(record));
            continue;
        }
        record->sender = datagram.sender;
        m_queue.push_back(std::move(record));
    }
    return m_queue.size() > queuedBefore;
}

void CRTPPacketQueue::TakeAll(Records& records)
{
    CAutoLock guard(m_lock);
    records.swap(m_queue);
}

void CRTPPacketQueue::Recycle(Records& records)
{
    CAutoLock guard(m_lock);
    for (std::unique_ptr<RTPPacketRecord>& record : records)
        Keep(std::move(record));
    records.clear();
}

void CRTPPacketQueue::Clear()
{
    CAutoLock guard(m_lock);
    Recycle(m_queue);
}

std::unique_ptr<RTPPacketRecord> CRTPPacketQueue::TakeSpare()
{
    if (m_spare.empty())
        return std::make_unique<RTPPacketRecord>();
    std::unique_ptr<RTPPacketRecord> record = std::move(m_spare.back());
    m_spare.pop_back();
    return record;
}

void CRTPPacketQueue::Keep(std::unique_ptr<RTPPacketRecord> record)
{
    if (m_spare.size() < kPoolLimit)
        m_spare.push_back(std::move(record));
}

}  // namespace korvane
