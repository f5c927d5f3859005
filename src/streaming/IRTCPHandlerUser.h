#pragma once
// Told when the camera ends its stream with an RTCP BYE.
namespace korvane {

class IRTCPHandlerUser {
public:
    virtual ~IRTCPHandlerUser() = default;
    virtual void ByeReceived() = 0;
};

}  // namespace korvane
