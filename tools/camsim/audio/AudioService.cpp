#include "camsim/audio/AudioService.h"

#include <chrono>
#include <cstdlib>

namespace camsim {

namespace {

constexpr size_t kPieceHeaderBytes = 6;

// Reads "text" CR LF at `at`; false when the line does not end there.
bool ReadLine(const std::string& body, size_t& at, std::string& line)
{
    const size_t end = body.find("\r\n", at);
    if (end == std::string::npos)
        return false;
    line = body.substr(at, end - at);
    at = end + 2;
    return true;
}

bool ParseHex(const std::string& text, size_t& value)
{
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    value = std::strtoul(text.c_str(), nullptr, 16);
    return true;
}

uint32_t BigEndian(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

uint32_t EchoedSession(const std::string& query)
{
    for (const auto& [name, value] : SplitQuery(query)) {
        if (name == "i")
            return static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
    }
    return 0;
}

HttpReply SessionReply(uint32_t session)
{
    HttpReply reply;
    reply.contentType = "application/x-wva-100";
    reply.body = "6\r\n";
    reply.body += '\x02';
    reply.body += '\x00';
    for (int shift = 24; shift >= 0; shift -= 8)
        reply.body += static_cast<char>((session >> shift) & 0xFF);
    reply.body += "\r\n0\r\n\r\n";
    return reply;
}

}  // namespace

bool ParseAudioUpload(const std::string& body, AudioUpload& upload)
{
    size_t at = 0;
    bool shortPieceSeen = false;
    for (;;) {
        std::string line;
        size_t size = 0;
        if (!ReadLine(body, at, line) || !ParseHex(line, size)) {
            upload.error = "bad chunk-size line at byte " + std::to_string(at);
            return false;
        }
        if (size == 0)
            break;
        if (shortPieceSeen || size < kPieceHeaderBytes || size > kPieceHeaderBytes + AudioService::kPieceBytes ||
            at + size + 2 > body.size() || body.compare(at + size, 2, "\r\n") != 0) {
            upload.error = "bad chunk of size " + std::to_string(size) + " at byte " + std::to_string(at);
            return false;
        }
        const uint32_t expected = AudioService::kFirstPieceNumber + static_cast<uint32_t>(upload.pieceNumbers.size());
        const uint32_t number = BigEndian(body, at + 2);
        if (body[at] != '\x02' || body[at + 1] != '\x00' || number != expected) {
            upload.error = "bad piece header, piece number " + std::to_string(number);
            return false;
        }
        upload.pieceNumbers.push_back(number);
        upload.audio.insert(upload.audio.end(), body.begin() + static_cast<std::ptrdiff_t>(at + kPieceHeaderBytes),
                            body.begin() + static_cast<std::ptrdiff_t>(at + size));
        shortPieceSeen = size < kPieceHeaderBytes + AudioService::kPieceBytes;
        at += size + 2;
    }
    if (body.compare(at, std::string::npos, "\r\n") != 0) {
        upload.error = "bad end of body";
        return false;
    }
    return true;
}

void AudioService::RefuseSwitch(const std::string& key, bool refuse)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (refuse)
        m_refused.insert(key);
    else
        m_refused.erase(key);
}

bool AudioService::RefusesSettings(const std::string& query) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& [name, value] : SplitQuery(query)) {
        if (value == "1" && m_refused.count(name) != 0)
            return true;
    }
    return false;
}

HttpReply AudioService::Receive(const RecordedRequest& request)
{
    AudioUpload upload;
    upload.target = request.target;
    upload.echoedSession = EchoedSession(request.Query());
    upload.receptionOn = m_model.Setting("hb10") == "1";
    const bool wellFormed = ParseAudioUpload(request.body, upload);
    HttpReply reply;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (wellFormed) {
        upload.issuedSession = ++m_lastSession;
        reply = SessionReply(upload.issuedSession);
    } else {
        reply.status = 400;
        reply.body = upload.error;
    }
    m_uploads.push_back(std::move(upload));
    m_added.notify_all();
    return reply;
}

std::vector<AudioUpload> AudioService::Uploads() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uploads;
}

bool AudioService::WaitForUploads(size_t count, uint32_t timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_added.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_uploads.size() >= count; });
}

}  // namespace camsim
