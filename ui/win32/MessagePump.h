// Waiting on a window's thread without freezing its windows.
#pragma once

#include <cstdint>

#include "ui/win32/win32_headers.h"

namespace win32 {

// Waits `milliseconds` while handling the calling thread's messages, keyboard
// navigation of `dialog` included, so that the thread's windows keep painting and
// never show as not responding. A WM_QUIT met on the way is put back at the end of
// the wait, for the thread's own loop to see.
void PumpMessagesWhileWaiting(HWND dialog, std::uint32_t milliseconds);

}  // namespace win32
