#pragma once
// Motion JPEG file (concatenated JPEG pictures) served as RTP (RFC 2435).
#include <memory>

#include "camsim/media/MediaSource.h"

namespace camsim::media {

std::unique_ptr<IMediaSource> OpenJpegSource(const MediaSourceOptions& options);

}  // namespace camsim::media
