#include "camsim/model/CameraModel.h"

#include <algorithm>

namespace camsim {

namespace {

std::string Join(const std::vector<std::string>& parts, const std::string& separator)
{
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

std::string IntType(int first, int second)
{
    return "int%28" + std::to_string(first) + "%2C" + std::to_string(second) + "%29";
}

std::string EncodeColons(std::string text)
{
    for (size_t at = text.find(':'); at != std::string::npos; at = text.find(':', at + 3))
        text.replace(at, 1, "%3A");
    return text;
}

bool IsControlParameter(const std::string& name)
{
    return name == "em" || name == "pt";  // edit mode and page of a settings request
}

}  // namespace

std::vector<std::pair<std::string, std::string>> SplitQuery(const std::string& query)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string::npos)
            end = query.size();
        const std::string part = query.substr(start, end - start);
        if (!part.empty()) {
            const size_t equals = part.find('=');
            pairs.emplace_back(part.substr(0, equals), equals == std::string::npos ? "" : part.substr(equals + 1));
        }
        start = end + 1;
    }
    return pairs;
}

CameraModel::CameraModel(const CameraConfig& config)
{
    auto info = [&](const std::string& key, const std::string& value) { m_info.emplace_back(key, value); };
    info("s.hardware", "Canon " + config.model);
    info("s.firmware", config.firmware);
    info("c.count", std::to_string(config.cameraCount));
    info("v.list", Join(config.videoList, ","));
    info("a.count", std::to_string(config.audioChannels));
    info("i.count", std::to_string(config.inputs));
    for (uint32_t i = 1; i <= config.inputs; ++i)
        info("i." + std::to_string(i), "0");
    info("o.count", std::to_string(config.outputs));
    for (uint32_t i = 1; i <= config.outputs; ++i)
        info("o." + std::to_string(i), "0");
    if (config.pan) {
        info("c.1.pan", "0");
        info("c.1.pan.speed.min", std::to_string(config.panSpeed.min));
        info("c.1.pan.speed.max", std::to_string(config.panSpeed.max));
    }
    if (config.tilt) {
        info("c.1.tilt", "0");
        info("c.1.tilt.speed.min", std::to_string(config.tiltSpeed.min));
        info("c.1.tilt.speed.max", std::to_string(config.tiltSpeed.max));
    }
    if (config.zoom) {
        info("c.1.zoom", "4000");
        info("c.1.zoom.speed.min", std::to_string(config.zoomSpeed.min));
        info("c.1.zoom.speed.max", std::to_string(config.zoomSpeed.max));
    }
    if (config.focus)
        info("c.1.focus", "auto");
    info("c.1.me.iris", std::to_string(config.iris.min));
    info("c.1.me.iris.min", std::to_string(config.iris.min));
    info("c.1.me.iris.max", std::to_string(config.iris.max));
    info("r.count", "0");

    m_settings = {
        {"ra02", EncodeColons(config.macAddress)},
        {"ig10-3", "5"}, {"ig10-4", "4"},
        {"ig12-0", "239.100.100.101"}, {"ig12-3", "239.100.100.103"}, {"ig12-4", "239.100.100.104"},
        {"ig21", "239.100.100.121"},
        {"hb00", "0"}, {"hb10", "0"},
        {"bc00", "0.00"}, {"bc01", "0"}, {"bc20", "20260101:000000"}, {"bc30", "0"}, {"bc31", "0"},
    };
    for (const char* stream : {"-0", "-1"}) {
        m_settings[std::string("dh00") + stream] = "1";
        m_settings[std::string("dh01") + stream] = "3";
        m_settings[std::string("dh02") + stream] = "8";
        m_settings[std::string("dh03") + stream] = "4";
        m_settings[std::string("dh04") + stream] = "0";
        m_settings[std::string("dh05") + stream] = "1";
    }
    m_settings["dh05"] = "1";
    if (config.secondStream)
        m_settings["dh10"] = "1";
    m_types = {{"dh01", IntType(1, static_cast<int>(config.maxQuality))}, {"dh04", IntType(config.lowFrameRate ? 1 : 0, 7)}};
}

std::string CameraModel::InfoReply(const std::string& item) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string reply;
    for (const auto& [key, value] : m_info) {
        const bool selected = item.empty() || key == item || key.compare(0, item.size() + 1, item + ".") == 0;
        if (selected)
            reply += key + ":=" + value + "\r\n";
    }
    return reply;
}

std::string CameraModel::SettingsReply(const std::string& query)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string reply;
    for (const auto& [name, value] : SplitQuery(query)) {
        if (IsControlParameter(name))
            continue;
        if (name == "el") {
            auto found = m_settings.find(value);
            reply += found != m_settings.end() ? "Val" + value + "=" + found->second : "SettingError=" + value;
        } else if (name == "tl") {
            auto found = m_types.find(value);
            reply += found != m_types.end() ? "Typ" + value + "-0=" + found->second : "SettingError=" + value;
        } else {
            auto found = m_settings.find(name);
            if (found == m_settings.end()) {
                reply += "SettingError=" + name;
            } else {
                found->second = value;
                reply += "Val" + name + "=" + value;
            }
        }
        reply += "\r\n";
    }
    return reply.empty() ? "OK\r\n" : reply;
}

std::string CameraModel::ControlReply(const std::string& query)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string reply;
    for (const auto& [name, value] : SplitQuery(query)) {
        auto found = FindInfo(name);
        if (found != m_info.end())
            found->second = value;
        reply += name + ":=" + value + "\r\n";
    }
    return reply.empty() ? "OK\r\n" : reply;
}

std::vector<std::pair<std::string, std::string>>::iterator CameraModel::FindInfo(const std::string& key)
{
    return std::find_if(m_info.begin(), m_info.end(), [&](const auto& entry) { return entry.first == key; });
}

void CameraModel::SetInfo(const std::string& key, const std::string& value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = FindInfo(key);
    if (found != m_info.end())
        found->second = value;
    else
        m_info.emplace_back(key, value);
}

void CameraModel::RemoveInfo(const std::string& key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = FindInfo(key);
    if (found != m_info.end())
        m_info.erase(found);
}

std::string CameraModel::Info(const std::string& key) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& [name, value] : m_info) {
        if (name == key)
            return value;
    }
    return {};
}

void CameraModel::SetSetting(const std::string& key, const std::string& value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_settings[key] = value;
}

void CameraModel::RemoveSetting(const std::string& key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_settings.erase(key);
}

std::string CameraModel::Setting(const std::string& key) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_settings.find(key);
    return found != m_settings.end() ? found->second : std::string();
}

void CameraModel::SetSettingType(const std::string& code, const std::string& type)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_types[code] = type;
}

}  // namespace camsim
