#include "HostParameters.h"

namespace tallowcam_host {

const char* HostParameters::GetParameter(uint32_t index)
{
    const auto found = m_settings.parameters.find(index);
    return found != m_settings.parameters.end() ? found->second.c_str() : nullptr;
}

}  // namespace tallowcam_host
