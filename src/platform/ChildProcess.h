#pragma once
// Another program run as a child process, with its standard output read
// line by line; stopped with SIGTERM and waited for with a time-out.
#include <cstdint>
#include <string>
#include <vector>

namespace korvane::platform {

struct CpuTimes {
    double userSeconds = 0;
    double systemSeconds = 0;
    double Total() const { return userSeconds + systemSeconds; }
};

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();  // stops a running child
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False when the program cannot be started (or a child is still running).
    bool Start(const std::string& program, const std::vector<std::string>& arguments);
    // The next line the child printed, without its line end; false when none
    // arrived within the time-out or the child closed its output.
    bool ReadLine(std::string& line, uint32_t timeoutMs);
    // Sends SIGTERM and waits for the child to end; false when it did not
    // end in time (it is then killed).
    bool Stop(uint32_t timeoutMs);
    // CPU time the running child has used so far; false when unknown.
    bool ReadCpuTimes(CpuTimes& out) const;
    // Resident memory of the running child; 0 when unknown.
    uint64_t ResidentBytes() const;
    bool IsRunning() const { return m_pid > 0; }

private:
    bool WaitForExit(uint32_t timeoutMs);

    int m_pid = 0;
    int m_output = -1;  // read end of the child's standard output
    std::string m_pending;
};

// CPU time of this process (every thread) so far.
CpuTimes ProcessCpuTimes();
// Resident memory of this process (VmRSS); 0 when unknown.
uint64_t ProcessResidentBytes();

}  // namespace korvane::platform
