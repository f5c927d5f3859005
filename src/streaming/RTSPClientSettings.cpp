#include "streaming/RTSPClientSettings.h"

namespace korvane {

const char* RTSPMethodWord(uint32_t method)
{
    switch (method) {
    case kRtspDescribe:
        return "DESCRIBE";
    case kRtspSetup:
        return "SETUP";
    case kRtspPlay:
        return "PLAY";
    case kRtspTeardown:
        return "TEARDOWN";
    case kRtspOptions:
        return "OPTIONS";
    case kRtspPause:
        return "PAUSE";
    default:
        return "";
    }
}

}  // namespace korvane
