// The application: start-up, the main dialog run modally, and the end of the process
// when the dialog closes. One static instance.
#pragma once

#include "ui/win32/win32_headers.h"

namespace win32 {

class CConfiguratorApp {
  public:
    // The last part of the settings key, below "Local AppWizard-Generated Applications".
    static constexpr const char* kApplicationName = "emcb-configurator";

    // Runs the whole program; the process's exit code.
    int InitInstance(HINSTANCE instance);
};

}  // namespace win32
