#pragma once
// G.711 mu-law file served as RTP payload type 0 in 20 ms packets.
#include <memory>

#include "camsim/media/MediaSource.h"

namespace camsim::media {

std::unique_ptr<IMediaSource> OpenPcmuSource(const MediaSourceOptions& options);

}  // namespace camsim::media
