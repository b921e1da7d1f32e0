// Each thread's main window: the window a thread's message boxes belong to, the
// owner of the progress windows it makes, and the window a cancelled progress window
// hands the foreground back to. A thread without one (a network worker) gets null.
#pragma once

#include "ui/win32/win32_headers.h"

namespace win32 {

// The calling thread's main window, or null.
HWND ThreadMainWindow();

// Makes `window` the calling thread's main window for the object's lifetime and
// restores the previous one afterwards. Construct and destroy on the same thread.
class ScopedThreadMainWindow {
  public:
    explicit ScopedThreadMainWindow(HWND window);
    ~ScopedThreadMainWindow();
    ScopedThreadMainWindow(const ScopedThreadMainWindow&) = delete;
    ScopedThreadMainWindow& operator=(const ScopedThreadMainWindow&) = delete;

  private:
    HWND previous_;
};

}  // namespace win32
