#pragma once
// One simulated Canon camera: the camera model and the servers that expose it, on loopback.
#include <cstdint>
#include <string>

#include "camsim/CameraStreams.h"
#include "camsim/http/Authenticator.h"
#include "camsim/http/CameraHttpApi.h"
#include "camsim/http/HttpServer.h"
#include "camsim/http/RequestLog.h"
#include "camsim/model/CameraModel.h"
#include "camsim/model/EventItems.h"
#include "camsim/onvif/OnvifService.h"
#include "camsim/ptz/PtzState.h"
#include "camsim/rtsp/RtspServer.h"
#include "driver/DeviceInfo.h"

namespace camsim {

struct CameraOptions {
    std::string address = "127.0.0.1";
    uint16_t httpPort = 0;  // 0: a free port
    bool tls = false;       // HTTPS instead of HTTP
    uint16_t rtspPort = 0;  // 0: a free port (cameras listen on 554)
    uint16_t multicastPort = 0;  // first port of the H.264 multicast streams; 0: a free one
    CameraConfig model;
    AuthConfig auth;
    bool onvifPtzVersion10 = false;  // ONVIF PTZ replies in the version 1.0 namespace
};

class Camera {
public:
    explicit Camera(const CameraOptions& options = {});
    ~Camera();
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    // Start after Stop uses the ports of the first start (a camera that restarts).
    bool Start();
    void Stop();
    // What the last failed Start could not listen on ("RTSP on 127.0.0.1:554").
    const std::string& StartFailure() const { return m_startFailure; }

    uint16_t HttpPort() const { return m_http.Port(); }
    uint16_t RtspPort() const { return m_rtsp.Port(); }
    // The connection record a driver uses for this camera (address, HTTP port, credentials).
    korvane::DEVICE_INFO DeviceInfo() const;
    // The audio switches and uploads.
    AudioService& Audio() { return m_api.Audio(); }

    CameraModel& Model() { return m_model; }
    PtzState& Ptz() { return m_ptz; }
    // Motion detection areas, inputs and outputs.
    EventItems& Events() { return m_events; }
    RequestLog& HttpRequests() { return m_httpLog; }
    Authenticator& Auth() { return m_auth; }
    HttpServer& Http() { return m_http; }
    COnvifService& Onvif() { return m_onvif; }
    // The RTSP server: its recorder and faults. The streams follow the model's
    // settings and the ONVIF encoder configurations (CameraStreams).
    RtspServer& Rtsp() { return m_rtsp; }
    CameraStreams& Streams() { return m_streams; }

private:
    // ONVIF posts go to the ONVIF services, everything else to the camera's own interface.
    HttpReply Handle(const RecordedRequest& request);

    CameraOptions m_options;
    CameraModel m_model;
    PtzState m_ptz{m_model};
    EventItems m_events{m_model};
    Authenticator m_auth;
    RequestLog m_httpLog;
    CameraHttpApi m_api;
    COnvifService m_onvif;
    HttpServer m_http;
    CameraStreams m_streams;
    RtspServer m_rtsp;
    std::string m_startFailure;
};

}  // namespace camsim
