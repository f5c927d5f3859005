#pragma once
// Interfaces between the host (the recorder) and the driver. The order of the
// virtual operations of every interface is a fixed contract: do not reorder.
// Operations named ReservedN stand for slots the driver never calls.
#include <cstdint>

#include "tallowcam/HostTypes.h"
#include "tallowcam/InterfaceLayout.h"

namespace korvane {
class ICaptureIOApi;
class IIPPTZDriver;
class IIPPTZDriverEx;
}  // namespace korvane

namespace korvane::ipcapture {

// Root of every object the plug-in creates for the host; the exported deleter
// destroys it through the virtual destructor.
class IPluginObject {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IPluginObject)
};

// ---- Log lines -------------------------------------------------------------

class CDebugInfoIf {
    TALLOWCAM_INTERFACE_DESTRUCTOR(CDebugInfoIf)
    virtual uint8_t GetLevel() const = 0;
    virtual const char* GetText() const = 0;  // null for an empty line
};

class IDebugInfoSink {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IDebugInfoSink)
    virtual void OnDebugInfo(CDebugInfoIf* info) = 0;
};

// ---- Frames ----------------------------------------------------------------

class IHostFrame {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IHostFrame)
    virtual void Reserved1() {}
    // At least the size given to IFrameAllocator::AllocateFrame.
    virtual uint8_t* GetBuffer() = 0;
    virtual void Reserved3() {}
    virtual void SetDataSize(uint32_t size) = 0;
    virtual void Commit() = 0;
    virtual void SetTime(const SYSTEMTIME* time) = 0;
    virtual void GetTime(SYSTEMTIME* time) = 0;
    virtual void Reserved8() {}
    virtual void Reserved9() {}
    virtual void SetFourCC(uint32_t fourCC) = 0;
    virtual void Reserved11() {}
    virtual void SetHeight(uint32_t height) = 0;
    virtual void Reserved13() {}
    virtual void SetWidth(uint32_t width) = 0;
    virtual void Reserved15() {}
    virtual void SetSizeClass(uint32_t sizeClass) = 0;
};

class IAudioData {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IAudioData)
    virtual void SetData(const uint8_t* data, uint32_t size) = 0;
    virtual const uint8_t* GetData() = 0;
    virtual uint32_t GetDataSize() = 0;
    virtual void Reserved4() {}
    virtual void Commit() = 0;
    virtual void Reserved6() {}
    virtual void Reserved7() {}
    virtual void Reserved8() {}
    virtual void Reserved9() {}
    virtual uint32_t GetFourCC() = 0;
    virtual void Reserved11() {}
    virtual void SetFourCC(uint32_t fourCC) = 0;
    virtual void SetBitRate(uint32_t bitRate) = 0;
    virtual void Reserved14() {}
    virtual void SetChannelId(uint8_t id) = 0;
    virtual uint32_t GetChannelId() = 0;
    virtual uint8_t IsStereo() = 0;
    virtual void Reserved18() {}
    virtual uint32_t GetSampleRate() = 0;
    virtual uint32_t GetBitRate() = 0;
    virtual void SetFormat(uint32_t sampleRate, uint8_t bitsPerSample, uint8_t stereo) = 0;
};

class IFrameAllocator {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IFrameAllocator)
    virtual void Reserved1() {}
    virtual IHostFrame* AllocateFrame(uint32_t fourCC, uint32_t size, const char* streamName) = 0;
    virtual IAudioData* AllocateAudioFrame(uint32_t fourCC, uint32_t size, const char* driverName) = 0;
    virtual void ReleaseAudioFrame(IAudioData* frame) = 0;
    virtual void Reserved5() {}
    virtual void ReleaseFrame(IHostFrame* frame) = 0;
};

class IFrameSink {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IFrameSink)
    // False: the host refused the frame.
    virtual bool OnFrame(IHostFrame* frame) = 0;
    virtual void Reserved2() {}
    virtual void OnSignalLost() = 0;
};

// ---- Parameters handed to Open ---------------------------------------------

class ICaptureInfo {
    TALLOWCAM_INTERFACE_DESTRUCTOR(ICaptureInfo)
    virtual void Reserved1() {}
    virtual const char* GetModelName() = 0;
    virtual uint32_t GetChannelCount() = 0;
    virtual void Reserved4() {}
    virtual uint32_t GetInputCount() = 0;
    virtual uint32_t GetOutputCount() = 0;
};

class IDeviceAddress {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IDeviceAddress)
    virtual const char* GetAddress() = 0;
    virtual uint16_t GetPort() = 0;
    virtual void Reserved3() {}
    virtual uint32_t GetDefaultCodec() = 0;
    virtual const char* GetUserName() = 0;
    virtual const char* GetPassword() = 0;
};

class IDriverParams {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IDriverParams)
    virtual ICaptureInfo* GetCaptureInfo() = 0;
    virtual IDeviceAddress* GetDeviceAddress() = 0;
    virtual void Reserved3() {}
    // Numbered parameter (from 1), or null when absent.
    virtual const char* GetParameter(uint32_t index) = 0;
};

// ---- Stream requests -------------------------------------------------------

class IResolution {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IResolution)
    virtual uint32_t GetWidth() = 0;
    virtual uint32_t GetHeight() = 0;
};

class IStreamFormat {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IStreamFormat)
    virtual void Reserved1() {}
    virtual void Reserved2() {}
    virtual IResolution* GetResolution() = 0;
    virtual uint32_t GetCodec() = 0;
};

class IStreamRate {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IStreamRate)
    virtual uint32_t GetFrameRate() = 0;
    virtual void Reserved2() {}
    virtual uint32_t GetQuality() = 0;
    virtual uint32_t IsMotionDetectionWanted() = 0;
};

class IStreamRequest {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IStreamRequest)
    virtual IStreamFormat* GetFormat() = 0;
    virtual IStreamRate* GetRate() = 0;
    virtual void Reserved3() {}
    virtual void Reserved4() {}
    virtual uint32_t GetHostInfo() = 0;
};

// ---- Audio host objects ----------------------------------------------------

// Receives audio captured from the camera.
class IAudioSink {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IAudioSink)
    virtual bool OnAudioFrame(IAudioData* frame) = 0;
    virtual void OnAudioState(uint32_t audioId, uint32_t state) = 0;
};

// Told the state of an audio output channel.
class IAudioStateSink {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IAudioStateSink)
    virtual void OnAudioState(uint32_t audioId, uint32_t state) = 0;
};

class IAudioFormatEntry {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IAudioFormatEntry)
    virtual void Reserved1() {}
    virtual uint32_t GetFourCC() = 0;
    virtual void Reserved3() {}
    virtual void Reserved4() {}
    virtual bool IsEnabled() = 0;
};

// The audio formats the host can deliver.
class IAudioFormatList {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IAudioFormatList)
    virtual uint32_t GetCount() = 0;
    virtual IAudioFormatEntry* GetFormat(uint32_t index) = 0;
};

// Filled with the format an audio output channel expects.
class IAudioFormat {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IAudioFormat)
    virtual void SetFourCC(uint32_t fourCC) = 0;
    virtual void SetSampleRate(uint32_t sampleRate) = 0;
    virtual void SetBitRate(uint32_t bitRate) = 0;
    virtual void Reserved4() {}
    virtual void SetStereo(uint8_t stereo) = 0;
};

// ---- Interfaces the driver implements for the host ------------------------

class IIPVideoCapture {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IIPVideoCapture)
    virtual uint32_t GetChannelCount() = 0;
    virtual bool StartChannel(uint32_t index, IFrameSink* sink, IStreamRequest* request) = 0;
    virtual bool StopChannel(uint32_t index) = 0;
    virtual bool ChangeChannel(uint32_t index, IResolution* resolution, uint32_t frameRate) = 0;
    virtual uint32_t Reserved5() = 0;
    virtual bool GetChannelState(uint32_t index, uint32_t* state, uint32_t* extra, char* text, uint32_t length) = 0;
    virtual bool SetOption(const char* name, void* value, uint32_t type) = 0;
    virtual bool GetOption(const char* name, void* value, uint32_t type) = 0;
};

class IIPVideoCaptureEx : public IIPVideoCapture {
public:
    virtual bool ResumeChannel(uint32_t index) = 0;
    virtual bool SuspendChannel(uint32_t index) = 0;
};

class IIPVideoCaptureEx2 : public IIPVideoCaptureEx {
public:
    virtual bool StartStream(uint32_t index, uint32_t streamNumber, IFrameSink* sink, IStreamRequest* request) = 0;
    virtual bool StopStream(uint32_t index, uint32_t streamNumber) = 0;
};

class IIPAudioCapture2 {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IIPAudioCapture2)
    virtual uint32_t GetChannelCount() = 0;
    virtual bool OpenChannel(uint32_t audioId, uint32_t channelIndex, IAudioSink* sink, uint32_t extra) = 0;
    virtual bool CloseChannel(uint32_t audioId) = 0;
    virtual void RefreshChannel(uint32_t audioId) = 0;
    virtual uint32_t Reserved5() = 0;
};

class IIPAudioSender {
    TALLOWCAM_INTERFACE_DESTRUCTOR(IIPAudioSender)
    virtual uint32_t GetChannelCount() = 0;
    virtual bool OpenChannel(uint32_t audioId, uint32_t arg1, IAudioStateSink* stateSink,
                             IAudioFormatList* formats) = 0;
    virtual bool CloseChannel(uint32_t audioId) = 0;
    virtual bool SendAudio(IAudioData* data) = 0;
    virtual bool SetChannelOption(uint32_t audioId, IAudioFormat* format) = 0;
    virtual void RefreshChannel(uint32_t audioId) = 0;
    virtual uint32_t Reserved7() = 0;
    virtual uint32_t Reserved8() = 0;
};

class IIPCaptureDriver : public IPluginObject {
public:
    virtual bool Open(IDebugInfoSink* logSink, IFrameAllocator* allocator, IDriverParams* params) = 0;
    virtual void Close() = 0;
    virtual IIPVideoCapture* GetVideoCapture() = 0;
    virtual korvane::ICaptureIOApi* GetIOApi() = 0;
};

class IIPCaptureDriverEx : public IIPCaptureDriver {
public:
    virtual void* Reserved5() = 0;
    virtual korvane::IIPPTZDriver* GetPTZDriver() = 0;
};

class IIPCaptureDriverEx2 : public IIPCaptureDriverEx {
public:
    virtual void* Reserved7() = 0;
    virtual IIPVideoCaptureEx* GetVideoCaptureEx() = 0;
};

class IIPCaptureDriverEx3 : public IIPCaptureDriverEx2 {
public:
    virtual korvane::IIPPTZDriverEx* GetPTZDriverEx() = 0;
};

class IIPCaptureDriverEx4 : public IIPCaptureDriverEx3 {
public:
    virtual IIPAudioCapture2* GetAudioCapture() = 0;
    virtual IIPAudioSender* GetAudioSender() = 0;
};

class IIPCaptureDriverEx5 : public IIPCaptureDriverEx4 {
public:
    virtual IIPVideoCaptureEx2* GetVideoCaptureEx2() = 0;
};

}  // namespace korvane::ipcapture
