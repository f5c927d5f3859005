#pragma once
// The hand-off of RTP packets from a receiver's UDP thread to its delivery
// thread: records in arrival order, and a pool of delivered records whose
// buffers the next datagrams are read into, so a running stream allocates
// nothing.
#include <cstddef>
#include <memory>
#include <vector>

#include "runtime/RecursiveLock.h"
#include "streaming/RTPPacketRecord.h"

namespace korvane {

class CRTPPacketQueue {
public:
    using Records = std::vector<std::unique_ptr<RTPPacketRecord>>;

    // Appends the datagrams that parse as RTP packets, in order. Each record
    // takes its datagram's buffer and leaves a delivered record's buffer in its
    // place. False when none was appended.
    bool Append(platform::ReceivedDatagram* datagrams, size_t count);
    // Moves the queued records into records (left empty before), oldest first.
    void TakeAll(Records& records);
    // Takes delivered records back for reuse; records is left empty.
    void Recycle(Records& records);
    void Clear();

private:
    // Enough for the bursts of a few high-rate frames; more are freed.
    static constexpr size_t kPoolLimit = 1024;

    std::unique_ptr<RTPPacketRecord> TakeSpare();
    void Keep(std::unique_ptr<RTPPacketRecord> record);

    CRecursiveLock m_lock;
    Records m_queue;
    Records m_spare;
};

}  // namespace korvane
