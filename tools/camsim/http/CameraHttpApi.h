#pragma once
// The camera's own HTTP interface on top of the camera model: information, settings,
// control and audio upload requests.
#include <atomic>
#include <cstdint>

#include "camsim/http/HttpServer.h"
#include "camsim/model/CameraModel.h"

namespace camsim {

class CameraHttpApi {
public:
    explicit CameraHttpApi(CameraModel& model) : m_model(model) {}

    HttpReply Handle(const RecordedRequest& request);

private:
    HttpReply AudioReply();

    CameraModel& m_model;
    std::atomic<uint32_t> m_audioSession{0};
};

}  // namespace camsim
