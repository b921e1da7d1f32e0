// The Windows headers of the Win32 front-end: the platform layer's set, plus the
// common controls.
#pragma once

#include "os/windows_headers.h"

// clang-format off
#include <commctrl.h>
// clang-format on
