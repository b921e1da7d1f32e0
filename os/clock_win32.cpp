#include "os/clock.h"

#include "os/windows_headers.h"

namespace os {

std::uint32_t TickCountMs() {
    return GetTickCount();
}

UtcTime UtcNow() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return {now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

LocalTime LocalNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

void SleepMs(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

}  // namespace os
