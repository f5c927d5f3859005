#pragma once
// One PTZ channel as the host sees it: checks the arguments, remembers which
// motions run so that Stop stops exactly those, hands every command to the
// channel's worker (CBasePTZComm) and every preset operation to the channel's
// preset list.
#include <cstdint>
#include <memory>

#include "ptz/BasePTZComm.h"
#include "ptz/IPParams.h"
#include "ptz/PrepositionList.h"
#include "tallowcam/PtzInterfaces.h"

namespace korvane {

class IDriver;

class CBasePTZControl : public IIPPTZApiEx, public IIPParams {
public:
    CBasePTZControl(IDriver* driver, uint32_t channel);
    // Closes the channel. The worker calls back into this object until it has
    // stopped, so a derived class must Close() in its own destructor.
    ~CBasePTZControl() override;
    TALLOWCAM_DELETING_DESTRUCTOR
    CBasePTZControl(const CBasePTZControl&) = delete;
    CBasePTZControl& operator=(const CBasePTZControl&) = delete;

    // ---- IIPPTZApi
    int32_t IsPTZSupported() override;
    int32_t StartMove(int32_t direction, uint32_t speed) override;
    int32_t Stop() override;
    int32_t Center(uint32_t x, uint32_t y, uint32_t speed) override;
    int32_t ZoomIn(uint32_t speed) override;
    int32_t ZoomOut(uint32_t speed) override;
    int32_t Unzoom(uint32_t speed) override;
    int32_t AreaZoom(uint32_t x, uint32_t y, uint32_t zoom, uint32_t speed) override;
    int32_t FocusNear(uint32_t speed) override;
    int32_t FocusFar(uint32_t speed) override;
    int32_t IrisPlus(uint32_t speed) override;
    int32_t IrisMinus(uint32_t speed) override;
    int32_t GetCapabilities(PTZ_CAPABILITIES* capabilities) override;
    int32_t GetPrepositionCount() override;
    int32_t GetPrepositionName(int32_t index, char* buffer, uint32_t bufferSize) override;
    int32_t MoveToPreposition(int32_t speed, const char* name) override;
    int32_t SetPreposition(const char* name) override;
    int32_t DeletePreposition(const char* name) override;
    int32_t GetCurrentPreposition(char* buffer, uint32_t bufferSize) override;
    // ---- IIPPTZApiEx
    uint32_t QueryExtension(uint32_t value) override { return value; }

    virtual void Close();
    // Null when the comm cannot be made.
    virtual std::unique_ptr<CBasePTZComm> CreatePTZComm() = 0;
    // Creates the comm and starts its thread; false (and closed) when that fails.
    virtual bool Open();

    // ---- IIPParams
    uint32_t GetChannel() override { return m_channel; }
    bool GetManualIris() override { return m_manualIris; }
    void SetManualIris(bool manual) override { m_manualIris = manual; }
    bool GetManualFocus() override { return m_manualFocus; }
    void SetManualFocus(bool manual) override { m_manualFocus = manual; }

protected:
    IDriver& Driver() const { return *m_driver; }

private:
    using StopOperation = bool (CBasePTZComm::*)(IIPParams*);

    // Sets flag when the command was queued.
    static int32_t NoteStarted(int32_t result, bool& flag);
    // A queued motion takes the camera away from its preset.
    int32_t NoteMoved(int32_t result);
    // The name into the host's buffer: kPtzInvalidArgument when it does not fit.
    static int32_t CopyName(const std::string& name, char* buffer, uint32_t bufferSize);
    // Posts the stop when flag is set; the flag stays set only when the stop
    // could not be queued. False then.
    bool StopIfRunning(bool& flag, StopOperation stop);

    IDriver* m_driver;
    uint32_t m_channel;
    std::unique_ptr<CBasePTZComm> m_comm;
    CPrepositionList m_prepositions;
    bool m_manualIris = false;
    bool m_manualFocus = false;
    bool m_zooming = false;
    bool m_focusing = false;
    bool m_irisChanging = false;
    bool m_moving = false;
};

}  // namespace korvane
