#pragma once
// H.264 Annex B file served as RTP (RFC 6184).
#include <memory>

#include "camsim/media/MediaSource.h"

namespace camsim::media {

std::unique_ptr<IMediaSource> OpenH264Source(const MediaSourceOptions& options);

}  // namespace camsim::media
