#pragma once
// Ties the camera requests a thread makes to the stop of their owner. While a scope is
// open on a thread, Web::CHttpSender starts no request there once the scope's owner is
// stopping. An owner stops by first making that visible and then aborting its sender,
// so the stop wins whatever its timing: a request in flight ends at the abort, and one
// about to start sees the stop, because the sender clears an earlier abort before it
// looks.
#include <functional>

namespace korvane {

class CStopScope {
public:
    explicit CStopScope(std::function<bool()> isStopping);
    ~CStopScope();
    CStopScope(const CStopScope&) = delete;
    CStopScope& operator=(const CStopScope&) = delete;

    // True when the owner of any scope open on the calling thread is stopping.
    static bool IsStopping();

private:
    std::function<bool()> m_isStopping;
    const CStopScope* m_outer;  // the scope this one is nested in, if any
};

}  // namespace korvane
