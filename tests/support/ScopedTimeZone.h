#pragma once
// Sets TZ (POSIX rules or a tzdata name) for a scope and puts the old value back.
#include <cstdlib>
#include <string>

namespace korvane::test {

class ScopedTimeZone {
public:
#ifdef _WIN32
    // Windows takes the zone from the system (GetTimeZoneInformation), which a test cannot set.
    static constexpr const char* kUnavailable = "Windows takes the time zone from the system, not from TZ";
    explicit ScopedTimeZone(const char*) {}
#else
    static constexpr const char* kUnavailable = nullptr;
    explicit ScopedTimeZone(const char* zone) { setenv("TZ", zone, 1); }
    ~ScopedTimeZone() { m_old.empty() ? unsetenv("TZ") : setenv("TZ", m_old.c_str(), 1); }

private:
    const std::string m_old = std::getenv("TZ") != nullptr ? std::getenv("TZ") : "";  // empty: TZ was not set
#endif
};

}  // namespace korvane::test
