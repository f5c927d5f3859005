#include "camsim/CameraStreams.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "camsim/media/MediaFile.h"
#include "camsim/model/CameraModel.h"
#include "camsim/onvif/OnvifService.h"

namespace camsim {

namespace {

struct PictureSize {
    uint32_t width;
    uint32_t height;
};

// Resolution codes of dh03, 1..9.
const PictureSize kResolutions[] = {{320, 240}, {640, 480}, {1280, 960}, {480, 270}, {960, 540},
                                    {1920, 1080}, {320, 180}, {640, 360}, {1280, 720}};
// Frame rates of the frame-rate codes of dh04, 0..7.
const uint32_t kFrameRates[] = {30, 15, 10, 6, 5, 3, 2, 1};

uint32_t Code(const std::string& value)
{
    return static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
}

const char* SampleExtension(MediaCodec codec)
{
    switch (codec) {
    case MediaCodec::H264:
        return "h264";
    case MediaCodec::Jpeg:
        return "mjpeg";
    case MediaCodec::Mpeg4:
        return "m4v";
    case MediaCodec::Pcmu:
        return "ulaw";
    }
    return "";
}

bool CodecOfEncoding(const std::string& encoding, MediaCodec& codec)
{
    if (encoding == "JPEG")
        codec = MediaCodec::Jpeg;
    else if (encoding == "H264")
        codec = MediaCodec::H264;
    else if (encoding == "MPEG4")
        codec = MediaCodec::Mpeg4;
    else
        return false;
    return true;
}

uint64_t Distance(uint64_t a, uint64_t b)
{
    return a > b ? a - b : b - a;
}

}  // namespace

std::string NearestSample(MediaCodec codec, uint32_t width, uint32_t height)
{
    const std::string extension = std::string(".") + SampleExtension(codec);
    std::string nearest;
    uint64_t nearestDistance = UINT64_MAX;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(media::MediaDirectory(), error)) {
        const std::string name = entry.path().filename().string();
        unsigned w = 0, h = 0;
        if (entry.path().extension() != extension || std::sscanf(name.c_str(), "sample%ux%u.", &w, &h) != 2)
            continue;
        const uint64_t distance = Distance(uint64_t{w} * h, uint64_t{width} * height);
        if (distance < nearestDistance) {
            nearest = entry.path().string();
            nearestDistance = distance;
        }
    }
    return nearest;
}

CameraStreams::CameraStreams(CameraModel& model, COnvifService& onvif, bool withAudio)
    : m_model(model), m_onvif(onvif), m_withAudio(withAudio)
{
}

bool CameraStreams::Resolve(const std::string& path, RtspStreamPlan& plan)
{
    const size_t equals = path.rfind('=');
    if (equals == std::string::npos || (path.substr(equals + 1) != "u" && path.substr(equals + 1) != "m"))
        return false;
    const bool multicast = path.back() == 'm';
    std::string name = path.substr(0, equals);
    StreamDescription description;
    description.path = path;
    bool known = false;
    if (name == "profile1" || name == "stream/profile1" || name == "rtpstream/config5")
        known = DescribeH264(0, description);
    else if (name == "rtpstream/config4")
        known = DescribeH264(1, description);
    else
        known = DescribeProfile(name.rfind("stream/", 0) == 0 ? name.substr(7) : name, description);
    if (!known)
        return false;
    if (!multicast) {
        description.multicastGroup.clear();
        description.multicastPort = 0;
    }
    description.sampleFile = NearestSample(description.codec, description.width, description.height);

    RtspTrackPlan track;
    track.codec = description.codec;
    track.media.filePath = description.sampleFile;
    if (track.codec == MediaCodec::H264)
        track.media.h264MinimumFrameBytes = m_h264MinimumFrameBytes;
    track.framePeriodMs = description.framesPerSecond != 0 ? (1000 + description.framesPerSecond / 2) /
                                                                 description.framesPerSecond
                                                           : 0;
    plan.tracks = {track};
    if (m_withAudio)
        plan.tracks.push_back(RtspTrackPlan{MediaCodec::Pcmu, MediaSourceOptions(), 0});
    plan.multicastGroup = description.multicastGroup;
    plan.multicastPort = description.multicastPort;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_described.push_back(description);
    return true;
}

bool CameraStreams::DescribeH264(uint32_t stream, StreamDescription& description) const
{
    const std::string suffix = "-" + std::to_string(stream);
    const uint32_t resolution = Code(m_model.Setting("dh03" + suffix));
    const uint32_t rate = Code(m_model.Setting("dh04" + suffix));
    if (resolution < 1 || resolution > 9 || rate > 7)
        return false;
    description.codec = MediaCodec::H264;
    description.width = kResolutions[resolution - 1].width;
    description.height = kResolutions[resolution - 1].height;
    description.framesPerSecond = kFrameRates[rate];
    // RTP streaming 5 (stream 0) and 4 (stream 1).
    description.multicastGroup = m_model.Setting(stream == 0 ? "ig12-4" : "ig12-3");
    description.multicastPort = static_cast<uint16_t>(m_multicastPort + 2 * stream);
    return true;
}

bool CameraStreams::DescribeProfile(const std::string& token, StreamDescription& description) const
{
    for (const OnvifProfile& profile : m_onvif.Profiles()) {
        OnvifEncoderConfiguration encoder;
        if (profile.token != token || !m_onvif.FindEncoder(profile.encoderToken, encoder))
            continue;
        if (!CodecOfEncoding(encoder.encoding, description.codec))
            return false;
        description.width = encoder.width;
        description.height = encoder.height;
        description.framesPerSecond = encoder.frameRateLimit;
        description.multicastGroup = encoder.multicastAddress;
        description.multicastPort = static_cast<uint16_t>(encoder.multicastPort);
        return true;
    }
    return false;
}

std::vector<StreamDescription> CameraStreams::Described() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_described;
}

}  // namespace camsim
