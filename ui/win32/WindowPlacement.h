// Where a new window opens.
#pragma once

#include "ui/win32/win32_headers.h"

namespace win32 {

// Centres `window` over `over` when that is shown and not minimised, otherwise on the
// work area of its screen, and keeps it whole on that screen.
void CentreWindow(HWND window, HWND over);

}  // namespace win32
