#pragma once
// The RTSP tracks of a simulated camera: its video track, followed by a PCMU
// audio track when the camera model has audio.
#include <vector>

#include "camsim/media/MediaSource.h"
#include "camsim/model/CameraModel.h"

namespace camsim {

std::vector<MediaCodec> CameraTracks(MediaCodec video, const CameraConfig& config);

}  // namespace camsim
