#include "ui/win32/CAboutBox.h"

#include "ui/win32/WindowPlacement.h"
#include "ui/win32/resource.h"

namespace win32 {

INT_PTR CAboutBox::DoModal(HWND owner) {
    return DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, &DialogProcedure, 0);
}

INT_PTR CALLBACK CAboutBox::DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            CentreWindow(dialog, GetWindow(dialog, GW_OWNER));
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace win32
