#include "ReportPrinter.h"

#include <string>

namespace tallowcam_host {

namespace {

const char* CapabilityName(uint32_t id)
{
    switch (id) {
    case 0: return "camera count";
    case 1: return "pan and tilt";
    case 2: return "digital inputs";
    case 3: return "digital outputs";
    case 4: return "audio input channels";
    case 5: return "hardware line read";
    case 6: return "MPEG-4";
    case 7: return "Motion JPEG";
    case 8: return "H.264";
    case 11: return "feature flag 1";
    case 12: return "feature flag 2";
    case 13: return "PTZ count";
    case 14: return "PTZ kind 1";
    case 15: return "PTZ kind 2";
    case 17: return "PTZ extra";
    case 27: return "further streams";
    default: return "capability";
    }
}

const char* OutcomeName(ProbeOutcome outcome)
{
    switch (outcome) {
    case ProbeOutcome::Completed: return "completed";
    case ProbeOutcome::Failed: return "failed";
    case ProbeOutcome::TimedOut: return "timed out";
    default: return "pending";
    }
}

std::string Codecs(const CapabilityReport& report)
{
    std::string text;
    const std::pair<uint32_t, const char*> codecs[] = {{8, "H.264"}, {7, "Motion JPEG"}, {6, "MPEG-4"}};
    for (const auto& [id, name] : codecs)
        if (report.Offers(id))
            text += text.empty() ? name : std::string(", ") + name;
    return text.empty() ? "none" : text;
}

}  // namespace

double FramesPerSecond(uint32_t frameValue)
{
    if (frameValue >= 0x70000000)
        return frameValue - 0x70000000;
    return frameValue != 0 ? 1000.0 / frameValue : 0;
}

void PrintReport(const CapabilityReport& report, std::FILE* out)
{
    std::fprintf(out, "Camera:       %s\n", report.deviceName.c_str());
    std::fprintf(out, "Codecs:       %s\n", Codecs(report).c_str());
    std::fprintf(out, "Resolutions: ");
    for (const ReportedResolution& resolution : report.resolutions)
        std::fprintf(out, " %s@%.0f", resolution.text.c_str(), FramesPerSecond(resolution.frameValue));
    std::fprintf(out, "\nFrame rates: ");
    for (const auto& [group, values] : report.frameRates)
        for (uint32_t value : values)
            std::fprintf(out, " %.1f", FramesPerSecond(value));
    std::fprintf(out, "\nCapabilities:\n");
    for (const auto& [id, value] : report.capabilities)
        std::fprintf(out, "  %-3u %-22s %u\n", id, CapabilityName(id), value);
    std::fprintf(out, "Parameters:\n");
    for (const auto& [number, parameter] : report.parameters)
        std::fprintf(out, "  %-3u %-38s %s\n", number, parameter.name.c_str(), parameter.value.c_str());
}

nlohmann::json ReportToJson(const CapabilityReport& report)
{
    nlohmann::json json;
    json["outcome"] = OutcomeName(report.outcome);
    if (report.outcome != ProbeOutcome::Completed) {
        json["status"] = report.failureStatus;
        json["message"] = report.failureMessage;
        return json;
    }
    json["deviceName"] = report.deviceName;
    nlohmann::json& capabilities = json["capabilities"] = nlohmann::json::object();
    for (const auto& [id, value] : report.capabilities)
        capabilities[std::to_string(id)] = {{"name", CapabilityName(id)}, {"value", value}};
    json["resolutions"] = nlohmann::json::array();
    for (const ReportedResolution& resolution : report.resolutions)
        json["resolutions"].push_back({{"text", resolution.text},
                                       {"width", resolution.width},
                                       {"height", resolution.height},
                                       {"frameValue", resolution.frameValue}});
    nlohmann::json& rates = json["frameRates"] = nlohmann::json::object();
    for (const auto& [group, values] : report.frameRates)
        rates[std::to_string(group)] = values;
    nlohmann::json& parameters = json["parameters"] = nlohmann::json::object();
    for (const auto& [number, parameter] : report.parameters)
        parameters[std::to_string(number)] = {
            {"name", parameter.name},
            {"kind", parameter.kind == korvane::ipcapture::kParameterKindNumber ? "number" : "text"},
            {"value", parameter.value}};
    return json;
}

}  // namespace tallowcam_host
