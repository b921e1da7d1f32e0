// The About box (dialog template 100): the icon, the utility's name and version, OK.
#pragma once

#include "ui/win32/win32_headers.h"

namespace win32 {

class CAboutBox {
  public:
    explicit CAboutBox(HINSTANCE instance) : instance_(instance) {}

    // Runs the box modally over `owner`; IDOK when closed.
    INT_PTR DoModal(HWND owner);

  private:
    static INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam,
                                            LPARAM lParam);

    HINSTANCE instance_;
};

}  // namespace win32
