#pragma once
// Sequence-number bookkeeping of one RTP source (RFC 3550, appendix A.1).
#include <cstdint>

namespace korvane {

class CRTPSequenceTracker {
public:
    void Update(uint16_t sequenceNumber);

    // Cycles (in multiples of 65536) plus the highest sequence number seen.
    uint32_t ExtendedHighest() const { return m_cycles + m_highest; }
    uint32_t Received() const { return m_received; }
    bool InProbation() const { return m_probation != 0; }

private:
    static constexpr uint32_t kSequenceModulo = 1u << 16;
    static constexpr uint32_t kMaxDropout = 3000;
    static constexpr uint32_t kMaxMisorder = 100;
    static constexpr uint32_t kMinSequential = 2;

    void Restart(uint16_t sequenceNumber);

    uint32_t m_highest = 0;
    uint32_t m_cycles = 0;
    uint32_t m_bad = 0;
    uint32_t m_probation = 0;
    uint32_t m_received = 0;
    bool m_started = false;
};

}  // namespace korvane
