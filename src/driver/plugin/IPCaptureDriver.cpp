#include "driver/plugin/IPCaptureDriver.h"

#include <cstdarg>
#include <new>

#include "audio/AudioCapabilities.h"
#include "driver/DebugInfo.h"
#include "driver/IPAudioCapture.h"
#include "driver/IPAudioSender.h"
#include "driver/IPVideoCapture.h"
#include "platform/DynamicLibrary.h"
#include "runtime/StringFormat.h"

namespace korvane {

using namespace ipcapture;

namespace {

constexpr const char* kHostCoreLibrary = "Vexhost";
constexpr platform::ModuleVersion kAssumedHostVersion{5, 12, 0, 0};
constexpr uint32_t kAudioInputParameter = 101;
constexpr uint32_t kAudioOutputParameter = 102;
// Numbered parameters are read from 1 up to the first missing one; a host
// that never reports a missing one is not followed further than this.
constexpr uint32_t kLastNumberedParameter = 1000;

constexpr uint32_t MajorMinor(uint16_t major, uint16_t minor)
{
    return uint32_t(major) << 16 | minor;
}

std::string CopyText(const char* text)
{
    return text != nullptr ? std::string(text) : std::string();
}

// A decimal number with an optional sign and at least one digit, within 32 bits.
bool ParseDecimal(const std::string& text, int32_t& value)
{
    const size_t digitsStart = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    if (text.size() == digitsStart || text.find_first_not_of("0123456789", digitsStart) != std::string::npos)
        return false;
    int64_t number = 0;
    for (size_t i = digitsStart; i < text.size(); ++i) {
        number = number * 10 + (text[i] - '0');
        if (number > int64_t(INT32_MAX) + 1)
            return false;
    }
    if (text[0] == '-')
        number = -number;
    if (number > INT32_MAX)
        return false;
    value = static_cast<int32_t>(number);
    return true;
}

}  // namespace

CIPCaptureDriver::CIPCaptureDriver() = default;

CIPCaptureDriver::~CIPCaptureDriver()
{
    CIPCaptureDriver::Close();
}

bool CIPCaptureDriver::Open(IDebugInfoSink* logSink, IFrameAllocator* hostContext, IDriverParams* params)
{
    if (!ReadHostParameters(params))
        return false;
    m_logSink = logSink;
    m_hostContext = hostContext;
    ReadHostEnvironment();

    m_videoCapture.reset(new (std::nothrow) CIPVideoCapture(this, m_channelCount));
    if (m_videoCapture == nullptr)
        return false;
    if (!CreateIOApi() || !CreatePTZDriver())
        return false;
    return CreateAudioAdapters(params);
}

bool CIPCaptureDriver::ReadHostParameters(IDriverParams* params)
{
    if (params == nullptr)
        return false;
    if (ICaptureInfo* captureInfo = params->GetCaptureInfo()) {
        m_inputCount = captureInfo->GetInputCount();
        m_outputCount = captureInfo->GetOutputCount();
        m_channelCount = captureInfo->GetChannelCount();
        m_deviceInfo.model = CopyText(captureInfo->GetModelName());
    }
    if (IDeviceAddress* address = params->GetDeviceAddress()) {
        m_defaultCodec = address->GetDefaultCodec();
        m_deviceInfo.address = CopyText(address->GetAddress());
        m_deviceInfo.port = address->GetPort();
        m_deviceInfo.userName = CopyText(address->GetUserName());
        m_deviceInfo.password = CopyText(address->GetPassword());
    }
    m_deviceName = m_deviceInfo.address + FormatString(":%hu", static_cast<unsigned short>(m_deviceInfo.port));

    m_parameters.clear();
    for (uint32_t index = 1; index <= kLastNumberedParameter; ++index) {
        const char* text = params->GetParameter(index);
        if (text == nullptr)
            break;
        m_parameters[index] = text;
    }
    return true;
}

void CIPCaptureDriver::ReadHostEnvironment()
{
    m_hostDirectory = platform::ExecutableDirectory();
    if (!platform::LoadedModuleVersion(platform::SharedLibraryFileName(kHostCoreLibrary), m_hostVersion))
        m_hostVersion = kAssumedHostVersion;
}

bool CIPCaptureDriver::CreateAudioAdapters(IDriverParams* params)
{
    const char* inputText = params->GetParameter(kAudioInputParameter);
    const char* outputText = params->GetParameter(kAudioOutputParameter);
    if (inputText == nullptr && outputText == nullptr)
        return true;
    CAudioCapabilities input;
    if (inputText != nullptr && input.FromString(inputText) && input.m_channelCount > 0 && m_audioCapture == nullptr)
        m_audioCapture.reset(new (std::nothrow) CIPAudioCapture(this, input.m_channelCount));
    CAudioCapabilities output;
    if (outputText != nullptr && output.FromString(outputText) && output.m_channelCount > 0 && m_audioSender == nullptr)
        m_audioSender.reset(new (std::nothrow) CIPAudioSender(this, output.m_channelCount));
    return m_audioCapture != nullptr || m_audioSender != nullptr;
}

void CIPCaptureDriver::Close()
{
    m_videoCapture.reset();
    m_ioApi.reset();
    m_ptzHandler.reset();
    m_audioCapture.reset();
    m_audioSender.reset();
}

IIPVideoCapture* CIPCaptureDriver::GetVideoCapture()
{
    return m_videoCapture.get();
}

IIPVideoCaptureEx* CIPCaptureDriver::GetVideoCaptureEx()
{
    return m_videoCapture.get();
}

IIPVideoCaptureEx2* CIPCaptureDriver::GetVideoCaptureEx2()
{
    return m_videoCapture.get();
}

IIPAudioCapture2* CIPCaptureDriver::GetAudioCapture()
{
    return m_audioCapture.get();
}

IIPAudioSender* CIPCaptureDriver::GetAudioSender()
{
    return m_audioSender.get();
}

void CIPCaptureDriver::LogDriverOpened(const std::string& firmware)
{
    const std::string driverName = CopyText(GetDriverName());
    if (driverName.empty() || m_deviceInfo.model.empty())
        return;
    std::string line = FormatString("DRIVER IS OPENED (name: %s, device model: %s", driverName.c_str(),
                                    m_deviceInfo.model.c_str());
    if (!firmware.empty())
        line += ", FW: " + firmware;
    line += FormatString(", address: %s:%u)", m_deviceInfo.address.c_str(), m_deviceInfo.port);
    DebugMessage(kLogNotable, "%s", line.c_str());
}

void CIPCaptureDriver::DebugMessage(uint32_t level, const char* format, ...)
{
    if (level == kLogDebug || m_logSink == nullptr)
        return;
    std::string line;
    va_list args;
    va_start(args, format);
    const bool formatted = FormatStringTo(line, format, args);
    va_end(args);
    if (!formatted)
        return;  // no memory for the line
    try {
        CDebugInfo info(HostLogLevel(level), line);
        m_logSink->OnDebugInfo(&info);
    } catch (...) {
        // A log line that cannot be delivered is dropped.
    }
}

// Hosts before 5.12 know no information level, hosts before 6.3 no notable events.
uint8_t CIPCaptureDriver::HostLogLevel(uint32_t level) const
{
    const uint32_t version = MajorMinor(m_hostVersion.major, m_hostVersion.minor);
    if (version < MajorMinor(5, 12)) {
        if (level == kLogInfo || level == kLogNotable)
            return kLogWarning;
    } else if (version < MajorMinor(6, 3)) {
        if (level == kLogNotable)
            return kLogInfo;
    }
    return static_cast<uint8_t>(level);
}

void CIPCaptureDriver::GetCaptureValues(uint32_t& inputs, uint32_t& outputs)
{
    inputs = m_inputCount;
    outputs = m_outputCount;
}

std::string CIPCaptureDriver::GetParameterString(uint32_t index)
{
    const auto found = m_parameters.find(index);
    if (found == m_parameters.end() || found->second == "(none)")
        return {};
    return found->second;
}

int32_t CIPCaptureDriver::GetParameterInt(uint32_t index)
{
    int32_t value = 0;
    return ParseDecimal(GetParameterString(index), value) ? value : kParameterMissing;
}

}  // namespace korvane
