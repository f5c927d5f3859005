#pragma once
// Finds the RTP packets of interleaved channel 0 ('$', 0, two length bytes,
// payload) in the byte stream of an RTSP connection and hands each whole
// packet on. Anything else (response text, other channels) is skipped.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvane {

class IRTSPClientUser;

class CRTSPStreamParser {
public:
    explicit CRTSPStreamParser(IRTSPClientUser* receiver) : m_receiver(receiver) {}
    virtual ~CRTSPStreamParser() = default;

    // Consumes a buffer of any length; a frame may span any number of calls.
    void Process(const uint8_t* bytes, size_t length);

private:
    bool Consume(uint8_t byte);  // false: examine the byte again
    void Deliver(const uint8_t* frame, size_t length);
    void ResetState();

    IRTSPClientUser* m_receiver;
    size_t m_patternMatched = 0;
    uint8_t m_lengthBytes[2] = {};
    size_t m_lengthCollected = 0;
    int32_t m_missing = 0;
    std::vector<uint8_t> m_payload;
};

}  // namespace korvane
