#pragma once
// What a user hands to the RTSP client: connection, credentials, stream and
// transport choices; and the request, transport and authentication codes.
#include <cstdint>
#include <string>

namespace korvane {

enum RTSPMethod : uint32_t {
    kRtspDescribe = 1,
    kRtspSetup = 2,
    kRtspPlay = 3,
    kRtspTeardown = 4,
    kRtspOptions = 5,
    kRtspPause = 6
};

// Method word of a request code; empty for an unknown code.
const char* RTSPMethodWord(uint32_t method);

enum class RTSPTransportMode : uint32_t {
    UDP = 0,          // RTP over UDP, unicast or multicast
    TCP = 1,          // profile RTP/AVP/TCP, no interleaved reading
    Interleaved = 2,  // RTP inside the RTSP connection
};

enum RTSPAuthScheme : uint32_t { kAuthNone = 0, kAuthBasic = 1, kAuthDigest = 2 };

// Which media section SETUP addresses.
enum RTSPMediaSelector : uint32_t { kSelectVideo = 1, kSelectAudio = 2, kSelectMetadata = 3 };

struct RTSPClientSettings {
    uint16_t serverPort = 554;
    uint16_t clientRtpPort = 0;
    uint32_t clientRtcpPort = 0;
    std::string address;
    std::string userName;
    std::string password;
    uint32_t connectTimeoutMs = 5000;
    uint32_t receiveTimeoutMs = 5000;
    uint32_t receiveBufferBytes = 65536;
    uint32_t sendTimeoutMs = 1000;
    uint32_t defaultSessionTimeoutS = 60;  // keep-alive basis while the server names none
    uint32_t authScheme = kAuthNone;       // RTSPAuthScheme to start with
    std::string path;                      // used when no Content-Base is known
    uint32_t mediaSelector = kSelectVideo;
    std::string range;       // Range of PLAY and PAUSE; empty means "npt=0.000-"
    uint32_t blockSize = 0;  // Blocksize of SETUP, sent only when above 100
};

}  // namespace korvane
