#include "ui/win32/CConfiguratorApp.h"

#include "diag/UiPort.h"
#include "ui/win32/CConfiguratorDlg.h"
#include "ui/win32/Win32Ui.h"

namespace win32 {

int CConfiguratorApp::InitInstance(HINSTANCE instance) {
    // Common controls 6 (the manifest asks for them) for the progress bar and the look.
    InitCommonControls();
    // The template holds no ActiveX control, so there is no control container to
    // enable; the settings live in HKCU\Software\Local AppWizard-Generated Applications.
    Win32Ui ui(CConfiguratorDlg::kTitle, kApplicationName);
    diag::SetUiPort(&ui);
    {
        CConfiguratorDlg dialog(instance);
        dialog.DoModal();  // its result does not matter: closing it ends the program
    }
    diag::SetUiPort(nullptr);
    return 0;
}

}  // namespace win32
