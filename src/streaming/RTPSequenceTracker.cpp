#include "streaming/RTPSequenceTracker.h"

namespace korvane {

void CRTPSequenceTracker::Restart(uint16_t sequenceNumber)
{
    m_highest = sequenceNumber;
    m_bad = kSequenceModulo + 1;  // matches no sequence number
    m_cycles = 0;
    m_received = 0;
}

void CRTPSequenceTracker::Update(uint16_t sequenceNumber)
{
    if (!m_started) {
        // A new source is accepted after kMinSequential packets in sequence.
        m_started = true;
        Restart(sequenceNumber);
        m_highest = static_cast<uint16_t>(sequenceNumber - 1);
        m_probation = kMinSequential;
    }

    const uint16_t step = static_cast<uint16_t>(sequenceNumber - m_highest);
    if (m_probation != 0) {
        if (sequenceNumber == static_cast<uint16_t>(m_highest + 1)) {
            --m_probation;
            m_highest = sequenceNumber;
            if (m_probation == 0) {
                Restart(sequenceNumber);
                ++m_received;
            }
        } else {
            m_probation = kMinSequential - 1;
            m_highest = sequenceNumber;
        }
        return;
    }

    if (step < kMaxDropout) {
        if (sequenceNumber < m_highest)
            m_cycles += kSequenceModulo;  // wrapped around
        m_highest = sequenceNumber;
    } else if (step <= kSequenceModulo - kMaxMisorder) {
        if (sequenceNumber != m_bad) {
            // A big jump: believed only when the next packet follows it.
            m_bad = (sequenceNumber + 1u) & (kSequenceModulo - 1);
            return;
        }
        Restart(sequenceNumber);
    }
    // Otherwise a duplicate or late packet: only counted.
    ++m_received;
}

}  // namespace korvane
