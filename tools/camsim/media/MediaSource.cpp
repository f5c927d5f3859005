#include "camsim/media/MediaSource.h"

#include "camsim/media/H264Source.h"
#include "camsim/media/JpegSource.h"
#include "camsim/media/Mpeg4Source.h"
#include "camsim/media/PcmuSource.h"

namespace camsim {

IMediaSource::~IMediaSource() = default;

std::unique_ptr<IMediaSource> OpenMediaSource(MediaCodec codec)
{
    return OpenMediaSource(codec, MediaSourceOptions());
}

std::unique_ptr<IMediaSource> OpenMediaSource(MediaCodec codec, const MediaSourceOptions& options)
{
    switch (codec) {
    case MediaCodec::H264:
        return media::OpenH264Source(options);
    case MediaCodec::Jpeg:
        return media::OpenJpegSource(options);
    case MediaCodec::Mpeg4:
        return media::OpenMpeg4Source(options);
    case MediaCodec::Pcmu:
        return media::OpenPcmuSource(options);
    }
    return nullptr;
}

}  // namespace camsim
