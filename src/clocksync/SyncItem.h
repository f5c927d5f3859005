#pragma once
// One camera whose clock the time provider keeps in step.
#include <atomic>
#include <cstdint>

#include "runtime/HttpSender.h"
#include "runtime/Time.h"

namespace korvane {

class IDriver;

class CSyncItem {
public:
    // The camera of the driver's device record; due at once.
    CSyncItem(IDriver* driver, uint32_t periodSeconds);
    virtual ~CSyncItem();
    CSyncItem(const CSyncItem&) = delete;
    CSyncItem& operator=(const CSyncItem&) = delete;

    // Writes time and time zone into the camera when the last success is older
    // than the period, or always when forced. Does nothing once cancelled.
    void Synchronise(bool forced);
    // No further writes; a request in progress is aborted.
    void Cancel();

private:
    void CheckDaylightKey();

    Web::CHttpSender m_httpSender;
    std::atomic<bool> m_active{true};
    uint32_t m_intervalMs;
    CTime m_lastSync;
    bool m_dstChecked = false;
    bool m_hasDstKey = false;
};

}  // namespace korvane
