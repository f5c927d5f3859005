#pragma once
// ONVIF media records: each reads itself from a parsed reply at a path and,
// where the camera gets it back, writes itself as XML.
#include <cstdint>
#include <string>

#include "onvif/OnvifPtzRecords.h"
#include "onvif/OnvifStructures.h"

namespace Onvif {

class MulticastConfiguration : public CCommonStructure {
public:
    std::string ToXml() const override;
    bool Read(const korvane::CXmlParser& reply, const std::string& path) override;

    std::string ipv4Address;
    uint32_t port = 0;
    uint32_t ttl = 0;
    std::string autoStart;
};

class VideoSourceConfiguration : public CCommonNamedStructure {
public:
    bool Read(const korvane::CXmlParser& reply, const std::string& path) override;

    uint32_t useCount = 0;
    std::string sourceToken;
    uint32_t boundsX = 0;
    uint32_t boundsY = 0;
    uint32_t boundsWidth = 0;
    uint32_t boundsHeight = 0;
};

class VideoEncoderConfiguration : public CCommonNamedStructure {
public:
    // The <Configuration> element that SetVideoEncoderConfiguration carries.
    std::string ToXml() const override;
    bool Read(const korvane::CXmlParser& reply, const std::string& path) override;

    uint32_t useCount = 0;
    std::string encoding;
    float quality = 0.0f;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frameRateLimit = 0;
    uint32_t encodingInterval = 0;
    uint32_t bitrateLimit = 0;
    uint32_t h264GovLength = 0;
    std::string h264Profile;
    uint32_t mpeg4GovLength = 0;
    std::string mpeg4Profile;
    std::string sessionTimeout;
    MulticastConfiguration multicast;
};

class MediaProfile : public CCommonNamedStructure {
public:
    // Fails without a token or a video source configuration; the encoder and
    // PTZ configurations may be missing.
    bool Read(const korvane::CXmlParser& reply, const std::string& path) override;

    VideoSourceConfiguration videoSource;
    VideoEncoderConfiguration videoEncoder;
    PTZConfiguration ptzConfiguration;
};

}  // namespace Onvif
