#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

extern char** environ;

namespace korvane::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kKillWaitMs = 2000;
constexpr uint32_t kExitPollMs = 10;

double Seconds(const timeval& time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// "VmRSS:  1234 kB" of a /proc/<pid>/status file.
uint64_t ResidentBytesFromStatus(const std::string& path)
{
    std::ifstream status(path);
    std::string line;
    while (std::getline(status, line)) {
        unsigned long long kilobytes = 0;
        if (std::sscanf(line.c_str(), "VmRSS: %llu kB", &kilobytes) == 1)
            return kilobytes * 1024;
    }
    return 0;
}

}  // namespace

ChildProcess::~ChildProcess()
{
    if (IsRunning())
        Stop(kKillWaitMs);
    if (m_output >= 0)
        close(m_output);
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments)
{
    if (IsRunning())
        return false;
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int result = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (result != 0) {
        close(pipeEnds[0]);
        return false;
    }
    if (m_output >= 0)
        close(m_output);
    m_pid = pid;
    m_output = pipeEnds[0];
    m_pending.clear();
    return true;
}

bool ChildProcess::ReadLine(std::string& line, uint32_t timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (m_output < 0 || left <= 0)
            return false;
        pollfd ready{m_output, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left)) <= 0)
            continue;
        char buffer[512];
        const ssize_t received = read(m_output, buffer, sizeof buffer);
        if (received <= 0)
            return false;
        m_pending.append(buffer, static_cast<size_t>(received));
    }
}

bool ChildProcess::Stop(uint32_t timeoutMs)
{
    if (!IsRunning())
        return true;
    kill(m_pid, SIGTERM);
    if (WaitForExit(timeoutMs))
        return true;
    kill(m_pid, SIGKILL);
    WaitForExit(kKillWaitMs);
    return false;
}

bool ChildProcess::WaitForExit(uint32_t timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        int status = 0;
        const pid_t ended = waitpid(m_pid, &status, WNOHANG);
        if (ended == m_pid || (ended < 0 && errno == ECHILD)) {
            m_pid = 0;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kExitPollMs));
    } while (Clock::now() < deadline);
    return false;
}

bool ChildProcess::ReadCpuTimes(CpuTimes& out) const
{
    if (!IsRunning())
        return false;
    std::ifstream stat("/proc/" + std::to_string(m_pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t afterName = text.rfind(')');  // the command name may hold spaces
    if (afterName == std::string::npos)
        return false;
    std::istringstream fields(text.substr(afterName + 2));
    std::string field;
    // After the name: state, ppid, pgrp, session, tty, tpgid, flags, minflt,
    // cminflt, majflt, cmajflt, then utime and stime in clock ticks.
    for (int skipped = 0; skipped < 11; ++skipped)
        fields >> field;
    unsigned long long userTicks = 0;
    unsigned long long systemTicks = 0;
    if (!(fields >> userTicks >> systemTicks))
        return false;
    const double ticksPerSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
    out.userSeconds = static_cast<double>(userTicks) / ticksPerSecond;
    out.systemSeconds = static_cast<double>(systemTicks) / ticksPerSecond;
    return true;
}

uint64_t ChildProcess::ResidentBytes() const
{
    return IsRunning() ? ResidentBytesFromStatus("/proc/" + std::to_string(m_pid) + "/status") : 0;
}

CpuTimes ProcessCpuTimes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return CpuTimes{Seconds(usage.ru_utime), Seconds(usage.ru_stime)};
}

uint64_t ProcessResidentBytes()
{
    return ResidentBytesFromStatus("/proc/self/status");
}

}  // namespace korvane::platform
