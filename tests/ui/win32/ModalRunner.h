// Acting from inside a modal loop: a dialog box or message box blocks the test's
// thread, so the checks run from a thread timer that the box's own loop dispatches.
#pragma once

#include <functional>
#include <string>

#include "ui/win32/win32_headers.h"

namespace win32::test {

// Calls `action` with the first top-level window of this thread that `matches`, as
// soon as one exists, from inside whatever message loop runs then. After `timeoutMs`
// without one, the test fails and every dialog box of this thread is ended, so that
// no test hangs on a box.
void WhenWindowAppears(std::function<bool(HWND)> matches, std::function<void(HWND)> action,
                       unsigned timeoutMs = 5000);

// A top-level dialog-class window ("#32770") of this thread with this caption, and,
// when `withControl` is not 0, with that control.
std::function<bool(HWND)> DialogTitled(const std::string& caption, int withControl = 0);

std::string WindowText(HWND window);
std::string ClassName(HWND window);

// A click on a button as the user's would arrive: posted, handled by the box's loop.
void PostClick(HWND button);

}  // namespace win32::test
