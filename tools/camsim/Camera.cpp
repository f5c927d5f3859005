#include "camsim/Camera.h"

#include "platform/UdpSocket.h"

namespace camsim {

namespace {

uint16_t FreeUdpPort()
{
    korvane::platform::UdpSocket socket;
    return socket.Create() && socket.Bind(0) ? socket.LocalPort() : 0;
}

}  // namespace

Camera::Camera(const CameraOptions& options)
    : m_options(options),
      m_model(options.model),
      m_api(m_model),
      m_http([this](const RecordedRequest& request) { return Handle(request); }, m_httpLog, m_auth),
      m_streams(m_model, m_onvif, options.model.audioChannels > 0)
{
    m_rtsp.Options().address = options.address;
    m_rtsp.Options().port = options.rtspPort;
    m_rtsp.Options().userName = options.auth.user;
    m_rtsp.Options().password = options.auth.password;
    m_rtsp.Options().resolveStream = [this](const std::string& path, RtspStreamPlan& plan) {
        return m_streams.Resolve(path, plan);
    };
    m_auth.Configure(options.auth);
    m_onvif.SetCredentials(options.auth.user, options.auth.password);
    m_onvif.AttachPtz(m_ptz);
    m_onvif.SetPtzVersion10(options.onvifPtzVersion10);
}

HttpReply Camera::Handle(const RecordedRequest& request)
{
    if (request.method != "POST" || !m_onvif.HandlesPath(request.Path())) {
        m_ptz.Observe(request);
        return m_api.Handle(request);
    }
    const OnvifReply reply = m_onvif.Handle(request.Path(), request.body);
    return HttpReply{static_cast<int>(reply.status), "application/soap+xml; charset=utf-8", reply.body};
}

Camera::~Camera() { Stop(); }

bool Camera::Start()
{
    const auto failure = [this](const char* protocol, uint16_t port) {
        m_startFailure = std::string(protocol) + " on " + m_options.address + ":" + std::to_string(port);
        return false;
    };
    if (!m_http.Start(m_options.address, m_options.httpPort, m_options.tls))
        return failure(m_options.tls ? "HTTPS" : "HTTP", m_options.httpPort);
    m_onvif.SetBaseAddress((m_options.tls ? "https://" : "http://") + m_options.address + ":" +
                           std::to_string(m_http.Port()));
    m_streams.SetMulticastPort(m_options.multicastPort != 0 ? m_options.multicastPort : FreeUdpPort());
    if (m_rtsp.Start()) {
        // Started again after Stop, the camera comes back on the same ports.
        m_options.httpPort = m_http.Port();
        return true;
    }
    m_http.Stop();
    return failure("RTSP", m_rtsp.Options().port);
}

void Camera::Stop()
{
    m_rtsp.Stop();
    m_http.Stop();
}

korvane::DEVICE_INFO Camera::DeviceInfo() const
{
    korvane::DEVICE_INFO device;
    device.address = m_options.address;
    device.port = m_http.Port();
    const AuthConfig auth = m_auth.Config();
    device.userName = auth.user;
    device.password = auth.password;
    device.model = m_options.model.model;
    return device;
}

}  // namespace camsim
