#pragma once
// Every request a simulated server received, in arrival order.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace camsim {

struct RecordedRequest {
    std::string method;
    std::string target;  // path and query as sent
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool secure = false;
    int clientPort = 0;  // tells the client's connections apart

    std::string Path() const { return target.substr(0, target.find('?')); }
    std::string Query() const;
    std::string Header(const std::string& name) const;  // empty when missing
};

class RequestLog {
public:
    void Add(RecordedRequest request);
    std::vector<RecordedRequest> All() const;
    std::vector<std::string> Targets() const;
    size_t Count() const;
    // True once at least count requests were recorded within the time-out.
    bool WaitForCount(size_t count, uint32_t timeoutMs) const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_added;
    std::vector<RecordedRequest> m_requests;
};

}  // namespace camsim
