#pragma once
// Host objects as a recorder passes them to the driver: a recording log sink
// and settable parameter and stream request objects (frames: FrameHost.h). A
// driver that calls a slot it was not given fails the test.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/Guarded.h"
#include "support/HostSlots.h"
#include "tallowcam/HostInterfaces.h"

namespace korvane::test {

struct LogLine {
    uint32_t level;
    std::string text;  // empty when the record carried no text
};

// Log lines as they arrive, from any thread.
class LogRecord : private Guarded {
public:
    void AddLine(uint32_t level, std::string text) { Locked([&] { m_lines.push_back({level, std::move(text)}); }); }
    std::vector<LogLine> Lines() const { return Locked([&] { return m_lines; }); }
    // Lines containing part.
    std::vector<LogLine> LinesContaining(const std::string& part) const
    {
        std::vector<LogLine> found;
        for (const auto& line : Lines())
            if (line.text.find(part) != std::string::npos)
                found.push_back(line);
        return found;
    }
    size_t CountLinesContaining(const std::string& part) const { return LinesContaining(part).size(); }
    bool HasLineContaining(const std::string& part) const { return CountLinesContaining(part) > 0; }
    void ClearLines() { Locked([&] { m_lines.clear(); }); }

private:
    std::vector<LogLine> m_lines;
};

class RecordingLogSink final : public ipcapture::IDebugInfoSink, public LogRecord {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    void OnDebugInfo(ipcapture::CDebugInfoIf* info) override
    {
        const char* text = info->GetText();
        AddLine(info->GetLevel(), text != nullptr ? text : "");
    }
};

class SettableCaptureInfo final : public ipcapture::ICaptureInfo {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    void Reserved1() override { UnassignedSlot("ICaptureInfo", 1); }
    const char* GetModelName() override { return model.c_str(); }
    uint32_t GetChannelCount() override { return channelCount; }
    void Reserved4() override { UnassignedSlot("ICaptureInfo", 4); }
    uint32_t GetInputCount() override { return inputCount; }
    uint32_t GetOutputCount() override { return outputCount; }

    std::string model = "VB-H43";
    uint32_t channelCount = 1, inputCount = 0, outputCount = 0;
};

class SettableDeviceAddress final : public ipcapture::IDeviceAddress {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    const char* GetAddress() override { return address.c_str(); }
    uint16_t GetPort() override { return port; }
    void Reserved3() override { UnassignedSlot("IDeviceAddress", 3); }
    uint32_t GetDefaultCodec() override { return defaultCodec; }
    const char* GetUserName() override { return userName.c_str(); }
    const char* GetPassword() override { return password.c_str(); }

    std::string address = "127.0.0.1";
    uint16_t port = 80;
    uint32_t defaultCodec = 3;
    std::string userName = "root", password = "camera";
};

// Numbered parameters are answered from the map; absent ones with null.
class SettableDriverParams final : public ipcapture::IDriverParams {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    ipcapture::ICaptureInfo* GetCaptureInfo() override { return &captureInfo; }
    ipcapture::IDeviceAddress* GetDeviceAddress() override { return &deviceAddress; }
    void Reserved3() override { UnassignedSlot("IDriverParams", 3); }
    const char* GetParameter(uint32_t index) override
    {
        m_asked.push_back(index);
        const auto found = parameters.find(index);
        return found != parameters.end() ? found->second.c_str() : nullptr;
    }

    // Indices asked for, in order.
    std::vector<uint32_t> AskedIndices() const { return m_asked; }

    SettableCaptureInfo captureInfo;
    SettableDeviceAddress deviceAddress;
    std::map<uint32_t, std::string> parameters;

private:
    std::vector<uint32_t> m_asked;
};

class SettableResolution final : public ipcapture::IResolution {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    uint32_t GetWidth() override { return width; }
    uint32_t GetHeight() override { return height; }

    uint32_t width = 640, height = 480;
};

class SettableStreamFormat final : public ipcapture::IStreamFormat {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    void Reserved1() override { UnassignedSlot("IStreamFormat", 1); }
    void Reserved2() override { UnassignedSlot("IStreamFormat", 2); }
    ipcapture::IResolution* GetResolution() override { return &resolution; }
    uint32_t GetCodec() override { return codec; }

    SettableResolution resolution;
    uint32_t codec = 3;
};

class SettableStreamRate final : public ipcapture::IStreamRate {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    uint32_t GetFrameRate() override { return frameRate; }
    void Reserved2() override { UnassignedSlot("IStreamRate", 2); }
    uint32_t GetQuality() override { return quality; }
    uint32_t IsMotionDetectionWanted() override { return motionDetection; }

    uint32_t frameRate = 0x7000 + 25, quality = 80, motionDetection = 0;
};

class SettableStreamRequest final : public ipcapture::IStreamRequest {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    ipcapture::IStreamFormat* GetFormat() override { return &format; }
    ipcapture::IStreamRate* GetRate() override { return &rate; }
    void Reserved3() override { UnassignedSlot("IStreamRequest", 3); }
    void Reserved4() override { UnassignedSlot("IStreamRequest", 4); }
    uint32_t GetHostInfo() override { return hostInfo; }

    SettableStreamFormat format;
    SettableStreamRate rate;
    uint32_t hostInfo = 0;
};

// A stream request for codec, size, frames per second and quality.
inline SettableStreamRequest StreamRequest(uint32_t codec, uint32_t width, uint32_t height,
                                           uint32_t framesPerSecond = 25, uint32_t quality = 80)
{
    SettableStreamRequest request;
    request.format.codec = codec;
    request.format.resolution.width = width;
    request.format.resolution.height = height;
    request.rate.frameRate = 0x7000 + framesPerSecond;
    request.rate.quality = quality;
    return request;
}

}  // namespace korvane::test
