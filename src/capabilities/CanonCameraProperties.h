#pragma once
// Discovery of a Canon camera over its information and settings requests.
#include <cstdint>
#include <string>
#include <vector>

#include "capabilities/BaseCameraProperties.h"
#include "ptz/PtzCapabilities.h"
#include "runtime/HttpSender.h"

namespace korvane {

class CCanonCameraProperties : public CBaseCameraProperties {
public:
    CCanonCameraProperties(const DEVICE_INFO& device, uint32_t videoStandard);

    void Abort() override;
    bool ListProperties(CParameterWriter& list) const override;
    CResultDef Query(uint32_t& status) override;
    std::string GetLastErrorText() const override { return m_lastResult.m_text; }

    uint32_t GetCameraType() const { return m_cameraType; }
    const std::string& GetMacAddress() const { return m_macAddress; }
    const CPtzCapabilities& GetPtzCapabilities() const { return m_ptz; }
    uint32_t GetMaxQuality() const { return m_maxQuality; }

private:
    // Discovery steps; each runs only while the query is neither aborted nor failed.
    bool CanContinue() const;
    void CheckCredentials();
    void ReadInformation();
    void ReadHardware();
    void ReadVideo();
    void AddVideoModes(const std::vector<std::string>& resolutions, const std::string& videoList);
    uint32_t ReadMaximumFrameRate();
    void ReadCodecs(const std::string& videoList);
    void RepeatCredentialsRequest();
    void ReadPeripherals();  // audio, I/O, PTZ and quality
    void ReadPtz();
    void ReadQuality();
    void SetFeatureFlags();
    void ReportOutcome(uint32_t& status);

    std::string InfoValue(const std::string& key) const;
    uint32_t InfoNumber(const std::string& key) const;
    // The value of a settings value request; empty when the request fails.
    std::string RequestSettingValue(const std::string& code);
    // The numbers of a settings type request; none when the request fails.
    std::vector<std::string> RequestSettingType(const std::string& code);

    CResultDef m_lastResult;
    CResultDef m_result;  // of the running query
    Web::CHttpSender m_sender;
    uint32_t m_cameraType = 1;  // 2: lists 1920x1080, 3: has a second stream
    std::string m_macAddress;
    CPtzCapabilities m_ptz;
    double m_privacyLimits[2] = {0.0, 0.0};
    uint32_t m_maxQuality = 5;
    std::string m_information;  // the info.cgi reply
};

}  // namespace korvane
