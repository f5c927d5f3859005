#include "camsim/Camera.h"

namespace camsim {

Camera::Camera(const CameraOptions& options)
    : m_options(options),
      m_model(options.model),
      m_api(m_model),
      m_http(
          [this](const RecordedRequest& request) {
              m_ptz.Observe(request);
              return m_api.Handle(request);
          },
          m_httpLog, m_auth)
{
    m_auth.Configure(options.auth);
}

Camera::~Camera() { Stop(); }

bool Camera::Start() { return m_http.Start(m_options.address, m_options.httpPort, m_options.tls); }

void Camera::Stop() { m_http.Stop(); }

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
