#pragma once
// Plain types shared with the host.
#include <cstdint>

#ifdef _WIN32
#include <windef.h>
#include <minwinbase.h>
#else
// Calendar time as the host exchanges it (the Win32 SYSTEMTIME layout).
struct SYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek;
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};
#endif
