#pragma once
// The simulated camera's state: the information items of "/-wvhttp-01-/info.cgi" and the
// settings of "/admin/-set-?". Thread-safe; tests change it while the servers run.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace camsim {

struct Range {
    int min = 0;
    int max = 0;
};

struct CameraConfig {
    std::string model = "VB-H45";
    std::string firmware = "Ver. 1.3.0";
    std::string macAddress = "00:1e:8f:12:34:56";
    uint32_t cameraCount = 1;
    // v.list entries, codec ":" width "x" height
    std::vector<std::string> videoList = {"jpg:640x480", "jpg:320x240", "h264:1920x1080", "h264:1280x720"};
    bool pan = true;
    bool tilt = true;
    bool zoom = true;
    bool focus = true;
    Range panSpeed{1, 150};
    Range tiltSpeed{1, 150};
    Range zoomSpeed{1, 7};
    Range iris{1, 100};
    uint32_t inputs = 2;
    uint32_t outputs = 2;
    uint32_t audioChannels = 1;
    bool secondStream = true;  // the dh10 setting exists
    bool lowFrameRate = false; // dh04 type starts at 1: at most 15 frames per second
    uint32_t maxQuality = 5;
};

class CameraModel {
public:
    explicit CameraModel(const CameraConfig& config = {});

    // Information reply lines "key:=value" CR LF, all or those of one item (the key itself or its sub-keys).
    std::string InfoReply(const std::string& item) const;
    // Answers the query of a settings request: el= values, tl= types, key=value writes.
    std::string SettingsReply(const std::string& query);
    // Applies control parameters (key=value) to information items; the reply lists the changed items.
    std::string ControlReply(const std::string& query);

    void SetInfo(const std::string& key, const std::string& value);
    void RemoveInfo(const std::string& key);
    std::string Info(const std::string& key) const;
    void SetSetting(const std::string& key, const std::string& value);
    void RemoveSetting(const std::string& key);
    std::string Setting(const std::string& key) const;  // empty when missing
    void SetSettingType(const std::string& code, const std::string& type);

private:
    std::vector<std::pair<std::string, std::string>>::iterator FindInfo(const std::string& key);

    mutable std::mutex m_mutex;
    std::vector<std::pair<std::string, std::string>> m_info;  // in reply order
    std::map<std::string, std::string> m_settings;
    std::map<std::string, std::string> m_types;
};

// Query "a=1&b=2" split into name/value pairs in order (values as sent).
std::vector<std::pair<std::string, std::string>> SplitQuery(const std::string& query);

}  // namespace camsim
