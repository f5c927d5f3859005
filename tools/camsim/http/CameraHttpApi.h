#pragma once
// The camera's own HTTP interface on top of the camera model: information, settings,
// control and audio upload requests.
#include "camsim/audio/AudioService.h"
#include "camsim/http/HttpServer.h"
#include "camsim/model/CameraModel.h"

namespace camsim {

class CameraHttpApi {
public:
    explicit CameraHttpApi(CameraModel& model) : m_model(model), m_audio(model) {}

    HttpReply Handle(const RecordedRequest& request);
    AudioService& Audio() { return m_audio; }

private:
    CameraModel& m_model;
    AudioService m_audio;
};

}  // namespace camsim
