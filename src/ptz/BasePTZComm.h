#pragma once
// A PTZ channel's worker thread: host calls post commands into a bounded
// queue and return at once; the thread executes them one by one, in posting
// order, against the camera (HandleWorkItem, camera-specific).
#include <cstdint>
#include <memory>

#include "ptz/PTZItem.h"
#include "ptz/PrepositionComm.h"
#include "ptz/PtzCapabilities.h"
#include "runtime/QueueThread.h"
#include "tallowcam/PtzInterfaces.h"

namespace korvane {

class IDriver;

class CBasePTZComm : public CQueueThread<CPTZItem>, public IPrepositionComm {
public:
    // channel counts from 0; queueLimit 0 keeps every command.
    CBasePTZComm(IDriver* driver, uint16_t channel, const CPtzCapabilities& capabilities, uint32_t queueLimit);
    ~CBasePTZComm() override;

    // Starts the worker thread "BaseIPPTZThread_Ch<channel + 1>".
    virtual bool Open();
    // Stops the thread, discarding pending commands.
    virtual void Close();
    virtual bool IsPTZSupported() const;
    // Fields 1 to 13; field 0 is left alone. Returns kPtzSuccess.
    virtual int32_t GetCapabilities(PTZ_CAPABILITIES* capabilities) const;

    // kPtzSuccess when queued, kPtzNotSupported, or kPtzFailure when it cannot be queued.
    int32_t StartMove(IIPParams* params, int32_t direction, uint32_t speed);
    int32_t StartFocus(IIPParams* params, bool towardsNear, uint32_t speed);
    int32_t StartIris(IIPParams* params, bool up, uint32_t speed);
    int32_t AreaZoom(IIPParams* params, int32_t x, int32_t y, int32_t zoom, uint32_t speed);
    int32_t Center(IIPParams* params, int32_t x, int32_t y, uint32_t speed);
    int32_t Unzoom(IIPParams* params, uint32_t speed);
    // True when queued. A pan/tilt stop discards every pending command first.
    bool StopMoving(IIPParams* params);
    bool StopZooming(IIPParams* params);
    bool StopFocusing(IIPParams* params);
    bool StopIrisChanging(IIPParams* params);

    uint32_t GetQueueLimit() const { return m_queueLimit; }
    uint16_t GetChannel() const { return m_channel; }
    const CPtzCapabilities& Capabilities() const { return m_capabilities; }

    // IDebugMessage: the driver's log.
    const char* GetDeviceName() override;
    void DebugMessage(uint32_t level, const char* format, ...) override __attribute__((format(printf, 3, 4)));

protected:
    IDriver& Driver() const { return *m_driver; }

private:
    int32_t PostIfSupported(const char* operation, bool supported, std::unique_ptr<CPTZItem> item);
    bool PostCommand(const char* operation, std::unique_ptr<CPTZItem> item, uint32_t limit);

    IDriver* m_driver;
    uint16_t m_channel;
    CPtzCapabilities m_capabilities;
    bool m_running = false;
    uint32_t m_queueLimit;
};

}  // namespace korvane
