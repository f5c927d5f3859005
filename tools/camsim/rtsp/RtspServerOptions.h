#pragma once
// How the simulated RTSP server describes and protects its stream.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "camsim/media/MediaSource.h"

namespace camsim {

enum class RtspAuth { None, Basic, Digest };

// One track of a stream that a stream resolver chose.
struct RtspTrackPlan {
    MediaCodec codec = MediaCodec::H264;
    MediaSourceOptions media;
    uint32_t framePeriodMs = 0;  // 0: the file's own rate
};

// What one stream path serves.
struct RtspStreamPlan {
    std::vector<RtspTrackPlan> tracks;
    std::string multicastGroup;  // as RtspServerOptions::multicastGroup
    uint16_t multicastPort = 0;
};

struct RtspServerOptions {
    std::vector<MediaCodec> tracks{MediaCodec::H264};  // one media section each, trackID=1, 2, ...
    std::string address = "127.0.0.1";                 // where the server listens
    std::string path = "stream";                       // Content-Base rtsp://<address>:<port>/<path>/
    bool sendContentBase = true;
    RtspAuth auth = RtspAuth::None;
    std::string userName = "root";
    std::string password = "camsim";
    std::string realm = "camsim";
    std::string nonce = "5f0c1d2e3a4b";
    std::string sessionId = "47110815";
    uint32_t sessionTimeoutS = 60;  // 0: the Session header names no time-out
    // A set-up session without any request for the time-out ends: streaming
    // stops and later requests get 454.
    bool expireSessions = false;
    // Non-empty: the description announces this group with port multicastPort
    // (the next track two ports higher) and SETUP may ask for multicast.
    std::string multicastGroup;
    uint16_t multicastPort = 0;
    uint32_t senderReportPeriodMs = 1000;
    uint16_t port = 0;  // listening port on loopback; 0: a free one
    // Set: DESCRIBE asks it what the URL's path (without the leading '/')
    // serves, instead of tracks and the multicast group above; false gives 404.
    // The URL then becomes the Content-Base.
    std::function<bool(const std::string& path, RtspStreamPlan& plan)> resolveStream;
};

}  // namespace camsim
