#pragma once
// The driver object for Canon network cameras that the exported factory creates.
#include <cstdint>

#include "driver/StreamDefaults.h"
#include "driver/plugin/IPCaptureDriver.h"
#include "ptz/PtzCapabilities.h"

namespace korvane {

class CTallowcamDriver : public CIPCaptureDriver {
public:
    CTallowcamDriver() = default;
    ~CTallowcamDriver() override;

    bool Open(ipcapture::IDebugInfoSink* logSink, ipcapture::IFrameAllocator* hostContext,
              ipcapture::IDriverParams* params) override;
    void Close() override;

    bool CreateIOApi() override;
    bool CreatePTZDriver() override;

    const char* GetDriverName() override { return "Tallowcam"; }
    CPtzCapabilities* GetPtzCapabilities() override { return &m_ptzCapabilities; }
    CStreamDefaults* GetStreamDefaults() override { return &m_streamDefaults; }

    // A default codec (0 or 16) in settings is replaced by the device's first.
    ICameraChannel* CreateVideoChannel(uint32_t channelIndex, ipcapture::IFrameSink* sink,
                                       ChannelSettings* settings) override;
    IMotionChannel* CreateMotionChannel(uint32_t channelIndex, ipcapture::IFrameSink* sink) override;
    // This driver has no edge-storage monitor.
    IEdgeMonitor* CreateEdgeMonitor() override { return nullptr; }
    IAudioInputChannel* CreateAudioInputChannel(uint32_t audioId, uint32_t channelIndex,
                                                ipcapture::IAudioSink* sink, uint32_t extra) override;
    IAudioOutputChannel* CreateAudioOutputChannel(uint32_t audioId, uint32_t arg1,
                                                  ipcapture::IAudioStateSink* stateSink,
                                                  ipcapture::IAudioFormatList* formats) override;

private:
    CPtzCapabilities m_ptzCapabilities;
    CStreamDefaults m_streamDefaults;
};

}  // namespace korvane
