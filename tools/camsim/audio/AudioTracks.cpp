#include "camsim/audio/AudioTracks.h"

namespace camsim {

std::vector<MediaCodec> CameraTracks(MediaCodec video, const CameraConfig& config)
{
    std::vector<MediaCodec> tracks{video};
    if (config.audioChannels > 0)
        tracks.push_back(MediaCodec::Pcmu);
    return tracks;
}

}  // namespace camsim
