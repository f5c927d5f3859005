#pragma once
// The driver reads its streaming transport from "Tallowcam.xml" in the host's
// executable directory. For one recording this writes that file for the
// chosen transport and puts back what was there before when it goes.
#include <optional>
#include <string>

namespace tallowcam_host {

enum class Transport { Udp, Tcp, Multicast };

class TransportConfiguration {
public:
    TransportConfiguration() = default;
    ~TransportConfiguration();
    TransportConfiguration(const TransportConfiguration&) = delete;
    TransportConfiguration& operator=(const TransportConfiguration&) = delete;

    // False with a reason when the file cannot be written.
    bool Apply(Transport transport, std::string& error);

    // The configuration file the driver reads, beside this executable.
    static std::string FilePath();
    static std::string FileContents(Transport transport);

private:
    void Restore();

    std::string m_path;                     // empty until Apply wrote the file
    std::optional<std::string> m_previous;  // the earlier file's contents
};

}  // namespace tallowcam_host
