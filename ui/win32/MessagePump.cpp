#include "ui/win32/MessagePump.h"

namespace win32 {

void PumpMessagesWhileWaiting(HWND dialog, std::uint32_t milliseconds) {
    const DWORD start = GetTickCount();
    bool quit = false;
    WPARAM quitCode = 0;
    for (;;) {
        MSG message;
        while (!quit && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // Taken off the queue, or every later peek would find it again at once.
                quit = true;
                quitCode = message.wParam;
                break;
            }
            if (dialog != nullptr && IsDialogMessageA(dialog, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) break;
        if (quit) {
            Sleep(milliseconds - elapsed);
            break;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
}

}  // namespace win32
