#pragma once
// What the simulated Canon camera streams on each RTSP path: the H.264
// streams follow the settings dh03 (resolution) and dh04 (frame rate) of the
// camera model, the ONVIF profile streams their video encoder configuration.
// Paths: "profile1=u", "stream/profile1=u" (H.264 stream 0),
// "rtpstream/config5=u" (stream 0), "rtpstream/config4=u" (stream 1),
// "<token>=u" and "stream/<token>=u" (an ONVIF profile); "=m" instead of "=u"
// asks for the stream's multicast group.
// Only the sample files exist as pictures: a stream is served from the
// sample of its codec nearest to the set resolution, while the description
// of the stream and the models report the set values.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "camsim/media/MediaSource.h"
#include "camsim/rtsp/RtspServerOptions.h"

namespace camsim {

class CameraModel;
class COnvifService;

struct StreamDescription {
    std::string path;
    MediaCodec codec = MediaCodec::H264;
    uint32_t width = 0;  // as set on the camera
    uint32_t height = 0;
    uint32_t framesPerSecond = 0;
    std::string multicastGroup;  // empty: unicast
    uint16_t multicastPort = 0;
    std::string sampleFile;  // what is actually sent
};

class CameraStreams {
public:
    // withAudio: every stream also carries the PCMU track of the camera's microphone.
    CameraStreams(CameraModel& model, COnvifService& onvif, bool withAudio);

    // First port of the H.264 multicast streams (stream 1 two ports higher).
    void SetMulticastPort(uint16_t port) { m_multicastPort = port; }
    // Pads the H.264 streams described from now on (MediaSourceOptions::h264MinimumFrameBytes).
    void SetH264MinimumFrameBytes(size_t bytes) { m_h264MinimumFrameBytes = bytes; }
    // The RTSP server's stream resolver; false for a path the camera does not serve.
    bool Resolve(const std::string& path, RtspStreamPlan& plan);
    // Every stream described so far, in order.
    std::vector<StreamDescription> Described() const;

private:
    bool DescribeH264(uint32_t stream, StreamDescription& description) const;
    bool DescribeProfile(const std::string& token, StreamDescription& description) const;

    CameraModel& m_model;
    COnvifService& m_onvif;
    const bool m_withAudio;
    uint16_t m_multicastPort = 0;
    size_t m_h264MinimumFrameBytes = 0;
    mutable std::mutex m_mutex;
    std::vector<StreamDescription> m_described;
};

// The sample file of the codec whose picture size is nearest to width x height.
std::string NearestSample(MediaCodec codec, uint32_t width, uint32_t height);

}  // namespace camsim
