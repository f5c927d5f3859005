#pragma once
// Host objects as a recorder passes them to the driver: a recording log sink,
// settable parameter and stream request objects, and a minimal frame
// allocator and frame sink that record what they receive.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tallowcam/HostInterfaces.h"

namespace korvane::test {

struct HostLogLine {
    uint8_t level;
    std::string text;  // empty when the record carried no text
};

class RecordingLogSink : public ipcapture::IDebugInfoSink {
public:
    void OnDebugInfo(ipcapture::CDebugInfoIf* info) override;

    std::vector<HostLogLine> Lines() const;
    // Lines containing part.
    std::vector<HostLogLine> LinesContaining(const std::string& part) const;

private:
    mutable std::mutex m_mutex;
    std::vector<HostLogLine> m_lines;
};

class SettableCaptureInfo : public ipcapture::ICaptureInfo {
public:
    const char* GetModelName() override { return model.c_str(); }
    uint32_t GetChannelCount() override { return channelCount; }
    uint32_t GetInputCount() override { return inputCount; }
    uint32_t GetOutputCount() override { return outputCount; }

    std::string model = "VB-H43";
    uint32_t channelCount = 1;
    uint32_t inputCount = 0;
    uint32_t outputCount = 0;
};

class SettableDeviceAddress : public ipcapture::IDeviceAddress {
public:
    const char* GetAddress() override { return address.c_str(); }
    uint16_t GetPort() override { return port; }
    uint32_t GetDefaultCodec() override { return defaultCodec; }
    const char* GetUserName() override { return userName.c_str(); }
    const char* GetPassword() override { return password.c_str(); }

    std::string address = "127.0.0.1";
    uint16_t port = 80;
    uint32_t defaultCodec = 3;
    std::string userName = "root";
    std::string password = "camera";
};

// Numbered parameters are answered from the map; absent ones with null.
class SettableDriverParams : public ipcapture::IDriverParams {
public:
    ipcapture::ICaptureInfo* GetCaptureInfo() override { return &captureInfo; }
    ipcapture::IDeviceAddress* GetDeviceAddress() override { return &deviceAddress; }
    const char* GetParameter(uint32_t index) override;

    // Indices asked for, in order.
    std::vector<uint32_t> AskedIndices() const { return m_asked; }

    SettableCaptureInfo captureInfo;
    SettableDeviceAddress deviceAddress;
    std::map<uint32_t, std::string> parameters;

private:
    std::vector<uint32_t> m_asked;
};

class SettableResolution : public ipcapture::IResolution {
public:
    uint32_t GetWidth() override { return width; }
    uint32_t GetHeight() override { return height; }

    uint32_t width = 640;
    uint32_t height = 480;
};

class SettableStreamFormat : public ipcapture::IStreamFormat {
public:
    ipcapture::IResolution* GetResolution() override { return &resolution; }
    uint32_t GetCodec() override { return codec; }

    SettableResolution resolution;
    uint32_t codec = 3;
};

class SettableStreamRate : public ipcapture::IStreamRate {
public:
    uint32_t GetFrameRate() override { return frameRate; }
    uint32_t GetQuality() override { return quality; }
    uint32_t IsMotionDetectionWanted() override { return motionDetection; }

    uint32_t frameRate = 0x7000 + 25;
    uint32_t quality = 80;
    uint32_t motionDetection = 0;
};

class SettableStreamRequest : public ipcapture::IStreamRequest {
public:
    ipcapture::IStreamFormat* GetFormat() override { return &format; }
    ipcapture::IStreamRate* GetRate() override { return &rate; }
    uint32_t GetHostInfo() override { return hostInfo; }

    SettableStreamFormat format;
    SettableStreamRate rate;
    uint32_t hostInfo = 0;
};

// A frame with a buffer of the allocated size and every field the driver sets.
class RecordingFrame : public ipcapture::IHostFrame {
public:
    RecordingFrame(uint32_t fourCC, uint32_t size, std::string streamName);

    uint32_t GetBufferSize() override { return static_cast<uint32_t>(buffer.size()); }
    uint8_t* GetBuffer() override { return buffer.data(); }
    uint32_t GetDataSize() override { return dataSize; }
    void SetDataSize(uint32_t size) override { dataSize = size; }
    void Commit() override { committed = true; }
    void SetTime(const SYSTEMTIME* value) override;
    void GetTime(SYSTEMTIME* value) override;
    void SetFourCC(uint32_t value) override { fourCC = value; }
    uint32_t GetFourCC() override { return fourCC; }
    void SetHeight(uint32_t value) override { height = value; }
    uint32_t GetHeight() override { return height; }
    void SetWidth(uint32_t value) override { width = value; }
    uint32_t GetWidth() override { return width; }
    void SetSizeClass(uint32_t value) override { sizeClass = value; }

    std::vector<uint8_t> buffer;
    std::string streamName;
    uint32_t dataSize = 0;
    uint32_t fourCC = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t sizeClass = 0;
    bool committed = false;
    SYSTEMTIME time{};
};

// Video frames only: audio frame requests are counted and answered with null.
class RecordingFrameAllocator : public ipcapture::IFrameAllocator {
public:
    ~RecordingFrameAllocator() override;

    ipcapture::IHostFrame* AllocateFrame(uint32_t fourCC, uint32_t size, const char* streamName) override;
    ipcapture::IAudioData* AllocateAudioFrame(uint32_t fourCC, uint32_t size, const char* driverName) override;
    void ReleaseAudioFrame(ipcapture::IAudioData* frame) override;
    void ReleaseFrame(ipcapture::IHostFrame* frame) override;

    uint32_t AllocatedCount() const;
    uint32_t ReleasedCount() const;
    uint32_t AudioRequestCount() const;
    // Frames handed out and not yet released.
    uint32_t OutstandingCount() const;

private:
    mutable std::mutex m_mutex;
    std::vector<RecordingFrame*> m_outstanding;
    uint32_t m_allocated = 0;
    uint32_t m_released = 0;
    uint32_t m_audioRequests = 0;
};

// What a frame sink saw of one frame.
struct ReceivedFrame {
    uint32_t fourCC;
    uint32_t width;
    uint32_t height;
    uint32_t sizeClass;
    std::vector<uint8_t> data;
    std::string streamName;
};

class RecordingFrameSink : public ipcapture::IFrameSink {
public:
    // Copies the frame; answers accept.
    bool OnFrame(ipcapture::IHostFrame* frame) override;
    void OnSignalLost() override;

    std::vector<ReceivedFrame> Frames() const;
    uint32_t SignalLostCount() const;

    std::atomic<bool> accept{true};

private:
    mutable std::mutex m_mutex;
    std::vector<ReceivedFrame> m_frames;
    uint32_t m_signalLost = 0;
};

}  // namespace korvane::test
