#pragma once
// MPEG-4 visual elementary stream served as RTP (RFC 3016, MP4V-ES).
#include <memory>

#include "camsim/media/MediaSource.h"

namespace camsim::media {

std::unique_ptr<IMediaSource> OpenMpeg4Source(const MediaSourceOptions& options);

}  // namespace camsim::media
