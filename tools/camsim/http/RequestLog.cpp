#include "camsim/http/RequestLog.h"

#include <strings.h>

#include <chrono>

namespace camsim {

std::string RecordedRequest::Query() const
{
    const size_t question = target.find('?');
    return question == std::string::npos ? std::string() : target.substr(question + 1);
}

std::string RecordedRequest::Header(const std::string& name) const
{
    for (const auto& [key, value] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    }
    return {};
}

void RequestLog::Add(RecordedRequest request)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(std::move(request));
    }
    m_added.notify_all();
}

std::vector<RecordedRequest> RequestLog::All() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::vector<std::string> RequestLog::Targets() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> targets;
    for (const RecordedRequest& request : m_requests)
        targets.push_back(request.target);
    return targets;
}

size_t RequestLog::Count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests.size();
}

bool RequestLog::WaitForCount(size_t count, uint32_t timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_added.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_requests.size() >= count; });
}

void RequestLog::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

}  // namespace camsim
