// The job's waits on the dialog's thread: they handle that thread's messages, and a
// quit request met on the way is neither lost nor allowed to cut the wait short.
#include "ui/win32/MessagePump.h"

#include <gtest/gtest.h>

namespace win32::test {
namespace {

constexpr UINT kCounted = WM_APP + 1;
int countedMessages = 0;

LRESULT CALLBACK CountingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCounted) {
        ++countedMessages;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CountingWindow() {
    static const bool registered = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &CountingProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "EmcbCountingWindow";
        return RegisterClassA(&windowClass) != 0;
    }();
    EXPECT_TRUE(registered);
    return CreateWindowExA(0, "EmcbCountingWindow", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

TEST(MessagePump, HandlesTheThreadsMessagesWhileWaiting) {
    const HWND window = CountingWindow();
    ASSERT_NE(window, nullptr);
    countedMessages = 0;
    PostMessageA(window, kCounted, 0, 0);
    PostMessageA(window, kCounted, 0, 0);
    PumpMessagesWhileWaiting(nullptr, 30);
    EXPECT_EQ(countedMessages, 2);
    DestroyWindow(window);
}

TEST(MessagePump, QuitIsPutBackAndTheWaitStillLastsItsTime) {
    const HWND window = CountingWindow();
    countedMessages = 0;
    PostQuitMessage(3);
    const DWORD start = GetTickCount();
    PumpMessagesWhileWaiting(nullptr, 100);
    EXPECT_GE(GetTickCount() - start, 90u) << "a quit must not turn the job's waits into a spin";
    PostMessageA(window, kCounted, 0, 0);
    PumpMessagesWhileWaiting(nullptr, 20);
    EXPECT_EQ(countedMessages, 1) << "later messages are still handled";
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 3u);
    DestroyWindow(window);
}

}  // namespace
}  // namespace win32::test
