#pragma once
// The camera's audio side: the transmission ("hb00") and reception ("hb10")
// switches, which tests can make the camera refuse, and the audio upload
// "/-wvaudio-01-/recv", whose chunked pieces are parsed and checked, stored,
// and answered with a new session number.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "camsim/http/HttpServer.h"
#include "camsim/model/CameraModel.h"

namespace camsim {

struct AudioUpload {
    std::string target;               // path and query as sent
    uint32_t echoedSession = 0;       // the "i=" value, 0 without one
    std::vector<uint32_t> pieceNumbers;
    std::vector<uint8_t> audio;       // the pieces' sound bytes in order
    bool receptionOn = false;         // "hb10" was 1 when it arrived
    uint32_t issuedSession = 0;       // the number in the reply, 0 when refused
    std::string error;                // why the body was refused; empty when it was well-formed
};

// Pieces of an upload body, or the reason it is malformed: chunks of a
// size line, the piece header 0x02 0x00 with a big-endian piece number
// (10, 11, ...), at most 80 sound bytes (fewer only in the last piece), CR LF;
// then the closing chunk.
bool ParseAudioUpload(const std::string& body, AudioUpload& upload);

class AudioService {
public:
    static constexpr uint32_t kFirstPieceNumber = 10;
    static constexpr size_t kPieceBytes = 80;

    explicit AudioService(CameraModel& model) : m_model(model) {}

    // key "hb00" or "hb10": settings requests switching it on are answered 403.
    void RefuseSwitch(const std::string& key, bool refuse);
    bool RefusesSettings(const std::string& query) const;

    HttpReply Receive(const RecordedRequest& request);

    std::vector<AudioUpload> Uploads() const;
    // True once at least count uploads arrived within the time-out.
    bool WaitForUploads(size_t count, uint32_t timeoutMs) const;

private:
    CameraModel& m_model;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_added;
    std::set<std::string> m_refused;
    std::vector<AudioUpload> m_uploads;
    uint32_t m_lastSession = 0;
};

}  // namespace camsim
