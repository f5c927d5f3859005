#pragma once
// Finds the RTP packets of interleaved channel 0 ('$', 0, two length bytes,
// payload) in the byte stream of an RTSP connection and hands each whole
// packet on. Anything else (response text, other channels) is skipped.
//
// The connection is read straight into the parser's window, and packets are
// parsed where they were read: a packet split between two reads is completed
// by the next read, which lands right after it.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvane {

class IRTSPClientUser;

class CRTSPStreamParser {
public:
    explicit CRTSPStreamParser(IRTSPClientUser* receiver) : m_receiver(receiver) {}
    virtual ~CRTSPStreamParser() = default;

    // Where the next read of at most size bytes goes.
    uint8_t* ReceiveSpace(size_t size);
    // Consumes the length bytes just read into the receive space; a packet may
    // span any number of reads.
    void Process(size_t length);

private:
    // Room for the longest packet and a read after it, so that the unfinished
    // packet moves to the front only now and then.
    static constexpr size_t kWindowSize = 65535 + 16384;

    bool Consume(uint8_t byte);  // false: examine the byte again
    void Deliver(const uint8_t* frame, size_t length);
    void ResetState();

    IRTSPClientUser* m_receiver;
    size_t m_patternMatched = 0;
    uint8_t m_lengthBytes[2] = {};
    size_t m_lengthCollected = 0;
    size_t m_missing = 0;  // payload length of the packet being read, 0 between packets
    std::vector<uint8_t> m_window;
    size_t m_payloadStart = 0;  // in the window, of the packet being read
    size_t m_end = 0;           // of the bytes read into the window
};

}  // namespace korvane
