#pragma once
// Rolling window of the latest samples with their running sum.
#include <cstddef>
#include <deque>

namespace korvane {

template <typename T>
class TStatisticsHelper {
public:
    explicit TStatisticsHelper(size_t maxSamples = 1000) : m_maxSamples(maxSamples) {}
    virtual ~TStatisticsHelper() = default;

    void Add(T value)
    {
        while (!m_samples.empty() && m_samples.size() >= m_maxSamples) {
            m_sum -= static_cast<double>(m_samples.front());
            m_samples.pop_front();
        }
        m_samples.push_back(value);
        m_sum += static_cast<double>(value);
    }
    void Clear()
    {
        m_samples.clear();
        m_sum = 0;
    }
    size_t Count() const { return m_samples.size(); }
    double Mean() const { return m_samples.empty() ? 0.0 : m_sum / static_cast<double>(m_samples.size()); }

private:
    size_t m_maxSamples;
    std::deque<T> m_samples;
    double m_sum = 0;
};

}  // namespace korvane
