#include "TransportConfiguration.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/Process.h"

namespace tallowcam_host {

namespace {

std::optional<std::string> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

bool WriteFile(const std::string& path, const std::string& contents)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    return static_cast<bool>(out.flush());
}

}  // namespace

TransportConfiguration::~TransportConfiguration()
{
    Restore();
}

std::string TransportConfiguration::FilePath()
{
    return korvane::platform::ExecutableDirectory() + "Tallowcam.xml";
}

std::string TransportConfiguration::FileContents(Transport transport)
{
    // Unicast RTP over UDP is the driver's default; "RTPoverRTSP" interleaves
    // RTP in the RTSP connection; "multicast-primary" has this recorder set up
    // the camera's multicast stream.
    const char* streamingMode = transport == Transport::Multicast ? "multicast-primary" : "unicast";
    std::string text = "<?xml version=\"1.0\"?>\n<Configuration>\n";
    text += std::string("  <StreamingMode>") + streamingMode + "</StreamingMode>\n";
    if (transport == Transport::Tcp)
        text += "  <Default>\n    <RTPMode>RTPoverRTSP</RTPMode>\n  </Default>\n";
    return text + "</Configuration>\n";
}

bool TransportConfiguration::Apply(Transport transport, std::string& error)
{
    Restore();
    m_path = FilePath();
    m_previous = ReadFile(m_path);  // put back even when the write below fails halfway
    if (!WriteFile(m_path, FileContents(transport))) {
        error = "cannot write the driver configuration " + m_path;
        return false;
    }
    return true;
}

void TransportConfiguration::Restore()
{
    if (m_path.empty())
        return;
    if (m_previous.has_value())
        WriteFile(m_path, *m_previous);
    else
        std::remove(m_path.c_str());
    m_path.clear();
    m_previous.reset();
}

}  // namespace tallowcam_host
