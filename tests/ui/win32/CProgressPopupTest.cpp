// The progress window as Windows builds it: styles, layout for the system's message
// font, the caption over a whole transfer, Cancel and Escape, and its position kept
// in the registry.
#include "ui/win32/CProgressPopup.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/ui/win32/ModalRunner.h"
#include "tests/ui/win32/TestSettings.h"
#include "ui/win32/ThreadMainWindow.h"

namespace win32::test {
namespace {

constexpr const char* kTftpTitle = "Tftp Uploading";

RECT ClientRectOf(HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void ExpectRect(const RECT& actual, LONG left, LONG top, LONG right, LONG bottom,
                const char* what) {
    EXPECT_EQ(actual.left, left) << what;
    EXPECT_EQ(actual.top, top) << what;
    EXPECT_EQ(actual.right, right) << what;
    EXPECT_EQ(actual.bottom, bottom) << what;
}

LOGFONTA MessageFont() {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = 340;
    EXPECT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 340, &metrics, 0));
    return metrics.lfMessageFont;
}

LOGFONTA FontOf(HWND window) {
    LOGFONTA font{};
    EXPECT_TRUE(GetObjectA(reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)),
                           sizeof font, &font));
    return font;
}

bool Visible(HWND window) {
    return (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

// Handles what is waiting on this thread's queue.
void DrainMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

class ProgressPopupTest : public ::testing::Test {
  protected:
    TestSettings settings_;
};

TEST_F(ProgressPopupTest, ClassWindowAndChildrenStyles) {
    CProgressPopup popup(nullptr, kTftpTitle, true);
    const HWND window = popup.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowText(window), kTftpTitle);
    EXPECT_FALSE(Visible(window)) << "hidden until shown";
    const DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION), static_cast<DWORD>(WS_POPUP | WS_CAPTION));
    EXPECT_EQ(style & WS_SYSMENU, 0u) << "no close box";
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
    EXPECT_NE(exStyle & WS_EX_DLGMODALFRAME, 0u);
    EXPECT_NE(exStyle & WS_EX_TOPMOST, 0u);
    EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr) << "a thread without a main window";

    EXPECT_EQ(static_cast<UINT>(GetClassLongPtrA(window, GCL_STYLE)),
              static_cast<UINT>(CS_OWNDC | CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrA(window, GCLP_HCURSOR)),
              LoadCursor(nullptr, IDC_APPSTARTING));
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_HICON), 0);

    const HWND text = GetDlgItem(window, CProgressPopup::kTextLineId);
    const HWND bar = GetDlgItem(window, CProgressPopup::kBarId);
    const HWND button = GetDlgItem(window, CProgressPopup::kCancelButtonId);
    ASSERT_TRUE(text && bar && button);
    EXPECT_EQ(ClassName(text), "Static");
    EXPECT_EQ(WindowText(text), "");
    EXPECT_EQ(GetWindowLongA(text, GWL_STYLE) & (SS_NOPREFIX | SS_TYPEMASK),
              SS_NOPREFIX | SS_LEFTNOWORDWRAP);
    EXPECT_EQ(ClassName(bar), PROGRESS_CLASSA);
    EXPECT_NE(GetWindowLongA(bar, GWL_STYLE) & PBS_SMOOTH, 0);
    EXPECT_EQ(ClassName(button), "Button");
    EXPECT_EQ(WindowText(button), " Cancel ");
    EXPECT_NE(GetWindowLongA(button, GWL_STYLE) & WS_TABSTOP, 0);

    const LOGFONTA wanted = MessageFont();
    for (const HWND child : {text, button}) {
        const LOGFONTA font = FontOf(child);
        EXPECT_STREQ(font.lfFaceName, wanted.lfFaceName);
        EXPECT_EQ(font.lfHeight, wanted.lfHeight);
        EXPECT_EQ(font.lfWeight, wanted.lfWeight);
    }

    CProgressPopup blocky(nullptr, "FPGA Uploading", false);
    EXPECT_EQ(
        GetWindowLongA(GetDlgItem(blocky.Window(), CProgressPopup::kBarId), GWL_STYLE) & PBS_SMOOTH,
        0);
}

// Four lines of the message font, the button from " Cancel " plus two blanks and the
// edges, all in a 390-wide text area with 10-pixel margins.
TEST_F(ProgressPopupTest, LayoutFollowsTheMessageFont) {
    CProgressPopup popup(nullptr, kTftpTitle, true);
    const HWND window = popup.Window();
    ASSERT_NE(window, nullptr);

    const LOGFONTA messageFont = MessageFont();
    const HFONT font = CreateFontIndirectA(&messageFont);
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SIZE label{};
    GetTextExtentPoint32A(dc, " Cancel   ", 10, &label);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);

    const int ex = GetSystemMetrics(SM_CXEDGE);
    const int ey = GetSystemMetrics(SM_CYEDGE);
    const LONG textBottom = 10 + 4 * metrics.tmHeight;
    const LONG buttonWidth = label.cx + 4 * ex;
    const LONG buttonHeight = label.cy + 3 * ey;
    ExpectRect(ClientRectOf(GetDlgItem(window, CProgressPopup::kTextLineId)), 10, 10, 400,
               textBottom, "text area");
    const LONG buttonTop = textBottom + 10;
    ExpectRect(ClientRectOf(GetDlgItem(window, CProgressPopup::kCancelButtonId)), 400 - buttonWidth,
               buttonTop, 400, buttonTop + buttonHeight, "button");
    ExpectRect(ClientRectOf(GetDlgItem(window, CProgressPopup::kBarId)), 10, buttonTop + ey,
               400 - buttonWidth - 10, buttonTop + buttonHeight - ey, "bar");
    RECT client;
    GetClientRect(window, &client);
    ExpectRect(client, 0, 0, 410, 4 * metrics.tmHeight + buttonHeight + 30, "client area");
}

TEST_F(ProgressPopupTest, CaptionOverAWholeTransfer) {
    CProgressPopup popup(nullptr, kTftpTitle, true);
    const HWND window = popup.Window();
    ASSERT_NE(window, nullptr);
    popup.SetRange(0, 21532, 1);
    std::vector<std::string> captions;
    for (int position = 0; position <= 21504; position += 512) {
        popup.SetPos(position);
        const std::string caption = WindowText(window);
        if (captions.empty() || captions.back() != caption) captions.push_back(caption);
    }
    ASSERT_EQ(captions.size(), 43u) << "the bare title, then every block changes it";
    EXPECT_EQ(captions[0], "Tftp Uploading");
    EXPECT_EQ(captions[1], "Tftp Uploading [2%]");
    EXPECT_EQ(captions[2], "Tftp Uploading [5%]");
    EXPECT_EQ(captions[3], "Tftp Uploading [7%]");
    EXPECT_EQ(captions[4], "Tftp Uploading [10%]");
    EXPECT_EQ(captions[21], "Tftp Uploading [50%]");
    EXPECT_EQ(captions.back(), "Tftp Uploading [100%]");
    EXPECT_EQ(SendMessageA(GetDlgItem(window, CProgressPopup::kBarId), PBM_GETPOS, 0, 0), 21504);
    EXPECT_EQ(SendMessageA(GetDlgItem(window, CProgressPopup::kBarId), PBM_GETRANGE, FALSE, 0),
              21532);
}

// The dialog keeps the focus: the window appears without being activated.
TEST_F(ProgressPopupTest, ShownBySetPosWithoutTakingTheFocus) {
    const HWND active = CreateWindowExA(0, "STATIC", "the user's window", WS_POPUP | WS_VISIBLE, 50,
                                        50, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(active, nullptr);
    SetActiveWindow(active);
    DrainMessages();
    ASSERT_EQ(GetActiveWindow(), active);
    {
        CProgressPopup popup(nullptr, kTftpTitle, true);
        popup.SetRange(0, 100, 1);
        popup.SetPos(0);
        DrainMessages();
        EXPECT_TRUE(Visible(popup.Window()));
        EXPECT_EQ(WindowText(popup.Window()), kTftpTitle) << "0 % keeps the bare title";
        EXPECT_EQ(GetActiveWindow(), active);
        popup.Hide();
        EXPECT_FALSE(Visible(popup.Window()));
        popup.Show();
        DrainMessages();
        EXPECT_TRUE(Visible(popup.Window()));
        EXPECT_EQ(GetActiveWindow(), active);
    }
    DestroyWindow(active);
}

TEST_F(ProgressPopupTest, CancelSavesThePositionAndHides) {
    CProgressPopup popup(nullptr, kTftpTitle, true);
    popup.Show();
    popup.MoveTo(123, 77);
    PostClick(GetDlgItem(popup.Window(), CProgressPopup::kCancelButtonId));
    popup.PumpMessages(true);
    EXPECT_TRUE(popup.IsCancelled());
    EXPECT_FALSE(Visible(popup.Window()));
    EXPECT_EQ(settings_.RegistryValue("X"), 123);
    EXPECT_EQ(settings_.RegistryValue("Y"), 77);
}

TEST_F(ProgressPopupTest, DestructionSavesThePositionTheNextWindowStartsThere) {
    {
        CProgressPopup popup(nullptr, kTftpTitle, true);
        popup.MoveTo(200, 150);
    }
    EXPECT_EQ(settings_.RegistryValue("X"), 200);
    EXPECT_EQ(settings_.RegistryValue("Y"), 150);
    CProgressPopup next(nullptr, kTftpTitle, true);
    RECT bounds;
    GetWindowRect(next.Window(), &bounds);
    EXPECT_EQ(bounds.left, 200);
    EXPECT_EQ(bounds.top, 150);
}

TEST_F(ProgressPopupTest, MissingOrOffScreenPositionCentresTheWindow) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    struct Saved {
        int x, y;
    };
    for (const Saved saved :
         {Saved{-1, -1}, Saved{width + 40, 100}, Saved{100, height}, Saved{-300, 20}}) {
        settings_.SetRegistryValue("X", saved.x);
        settings_.SetRegistryValue("Y", saved.y);
        CProgressPopup popup(nullptr, kTftpTitle, true);
        RECT bounds;
        GetWindowRect(popup.Window(), &bounds);
        EXPECT_EQ(bounds.left,
                  work.left + (work.right - work.left - (bounds.right - bounds.left)) / 2)
            << saved.x << ", " << saved.y;
        EXPECT_EQ(bounds.top,
                  work.top + (work.bottom - work.top - (bounds.bottom - bounds.top)) / 2)
            << saved.x << ", " << saved.y;
    }
}

TEST_F(ProgressPopupTest, EscapeCancelsOnlyWhenAsked) {
    CProgressPopup popup(nullptr, kTftpTitle, true);
    popup.Show();
    PostMessageA(popup.Window(), WM_CHAR, VK_ESCAPE, 0);
    popup.PumpMessages(false);
    EXPECT_FALSE(popup.IsCancelled());
    EXPECT_TRUE(Visible(popup.Window()));

    popup.MoveTo(60, 70);
    PostMessageA(popup.Window(), WM_CHAR, VK_ESCAPE, 0);
    popup.PumpMessages(true);
    EXPECT_TRUE(popup.IsCancelled());
    EXPECT_FALSE(Visible(popup.Window()));
    EXPECT_EQ(settings_.RegistryValue("X"), 60);
}

TEST_F(ProgressPopupTest, CloseRequestCancelsButKeepsTheWindow) {
    CProgressPopup popup(nullptr, kTftpTitle, true);
    popup.Show();
    PostMessageA(popup.Window(), WM_CLOSE, 0, 0);
    popup.PumpMessages(true);
    EXPECT_TRUE(popup.IsCancelled());
    EXPECT_TRUE(IsWindow(popup.Window()));
}

TEST_F(ProgressPopupTest, QuitMetWhilePumpingIsPostedAgainWithCodeZero) {
    CProgressPopup popup(nullptr, kTftpTitle, true);
    PostQuitMessage(7);
    popup.PumpMessages(true);
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
    EXPECT_FALSE(popup.IsCancelled());
}

TEST_F(ProgressPopupTest, OwnedByTheThreadsMainWindow) {
    const HWND main = CreateWindowExA(0, "STATIC", "main", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      nullptr, nullptr);
    {
        ScopedThreadMainWindow scope(main);
        CProgressPopup popup(nullptr, "FPGA Uploading", true);
        EXPECT_EQ(GetWindow(popup.Window(), GW_OWNER), main);
    }
    DestroyWindow(main);
}

}  // namespace
}  // namespace win32::test
