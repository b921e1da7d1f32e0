#include "ui/win32/CProgressPopup.h"

#include <cstddef>

#include "diag/UiPort.h"
#include "ui/win32/ThreadMainWindow.h"
#include "ui/win32/WindowPlacement.h"

namespace win32 {
namespace {

// NONCLIENTMETRICS as every Windows version since 2000 accepts it: without the
// padded border width that Vista appended.
constexpr UINT kNonClientMetricsSize = 340;
static_assert(offsetof(NONCLIENTMETRICSA, lfMessageFont) + sizeof(LOGFONTA) ==
              kNonClientMetricsSize);

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION;  // no system menu, so no close box
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST;

bool RegisterPopupClass(WNDPROC procedure) {
    static const bool registered = [procedure] {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursor(nullptr, IDC_APPSTARTING);
        // Kept for the process's life, like the class itself.
        windowClass.hbrBackground = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
        windowClass.lpszClassName = CProgressPopup::kClassName;
        return RegisterClassExA(&windowClass) != 0;
    }();
    return registered;
}

HWND CreateChild(HWND parent, const char* className, const char* text, DWORD style, int id) {
    return CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleA(nullptr), nullptr);
}

bool IsVisibleStyle(HWND window) {
    return (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

int Width(const RECT& r) {
    return r.right - r.left;
}

int Height(const RECT& r) {
    return r.bottom - r.top;
}

}  // namespace

CProgressPopup::CProgressPopup(HWND owner, const std::string& title, bool smooth) : rules_(title) {
    Create(owner, title, smooth);
}

CProgressPopup::~CProgressPopup() {
    if (window_ != nullptr) DestroyWindow();
    if (font_ != nullptr) DeleteObject(font_);
}

bool CProgressPopup::Create(HWND owner, const std::string& title, bool smooth) {
    if (!RegisterPopupClass(&WindowProcedure)) return false;
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = kNonClientMetricsSize;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSize, &metrics, 0))
        font_ = CreateFontIndirectA(&metrics.lfMessageFont);
    if (owner == nullptr) owner = ThreadMainWindow();

    // WindowProcedure keeps window_ from WM_NCCREATE on.
    const HWND created =
        CreateWindowExA(kExStyle, kClassName, title.c_str(), kStyle, 0, 0, kWidth, kInitialHeight,
                        owner, nullptr, GetModuleHandleA(nullptr), this);
    if (created == nullptr) return false;
    if (!CreateChildren(smooth)) {
        ::DestroyWindow(created);  // a window without its parts is of no use
        return false;
    }
    SendMessageA(cancelButton_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    SendMessageA(textLine_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    Layout(textLines_, kWidth);
    if (persistPosition_) RestorePosition();
    return true;
}

bool CProgressPopup::CreateChildren(bool smooth) {
    textLine_ = CreateChild(window_, "STATIC", "", SS_NOPREFIX | SS_LEFTNOWORDWRAP, kTextLineId);
    bar_ = CreateChild(window_, PROGRESS_CLASSA, "", smooth ? PBS_SMOOTH : 0, kBarId);
    cancelButton_ = CreateChild(window_, "BUTTON", cancelLabel_.c_str(), WS_TABSTOP | BS_PUSHBUTTON,
                                kCancelButtonId);
    return textLine_ != nullptr && bar_ != nullptr && cancelButton_ != nullptr;
}

void CProgressPopup::Layout(int lines, int width) {
    const int edgeX = GetSystemMetrics(SM_CXEDGE);
    const int edgeY = GetSystemMetrics(SM_CYEDGE);
    RECT text{kMargin, kMargin, width - 2 * kMargin, 2 * kMargin + 100};
    SIZE button{0, 0};
    if (HDC dc = GetDC(window_)) {
        const HGDIOBJ previousFont = SelectObject(dc, font_);
        std::string sample = "M";
        for (int line = 1; line < lines; ++line)
            sample += "\nM";
        // Measures the height of `lines` lines of text in the font.
        DrawTextA(dc, sample.c_str(), -1, &text, DT_CALCRECT | DT_NOPREFIX | DT_NOCLIP);
        text.right = text.left + width;
        const std::string label = cancelLabel_ + "  ";
        GetTextExtentPoint32A(dc, label.c_str(), static_cast<int>(label.size()), &button);
        button.cx += 4 * edgeX;
        button.cy += 3 * edgeY;
        SelectObject(dc, previousFont);
        ReleaseDC(window_, dc);
    }
    const RECT buttonRect{text.right - button.cx, text.bottom + kMargin, text.right,
                          text.bottom + kMargin + button.cy};
    const RECT barRect{text.left, buttonRect.top + edgeY, buttonRect.left - kMargin,
                       buttonRect.bottom - edgeY};
    const SIZE client{Width(text) + 2 * kMargin, Height(text) + Height(buttonRect) + 3 * kMargin};

    RECT windowRect;
    RECT clientRect;
    GetWindowRect(window_, &windowRect);
    GetClientRect(window_, &clientRect);
    const int frameWidth = Width(windowRect) - Width(clientRect);
    const int frameHeight = Height(windowRect) - Height(clientRect);
    MoveWindow(window_, windowRect.left, windowRect.top, client.cx + frameWidth,
               client.cy + frameHeight, TRUE);
    MoveWindow(bar_, barRect.left, barRect.top, Width(barRect), Height(barRect), TRUE);
    MoveWindow(cancelButton_, buttonRect.left, buttonRect.top, Width(buttonRect),
               Height(buttonRect), TRUE);
    MoveWindow(textLine_, text.left, text.top, Width(text), Height(text), TRUE);
}

void CProgressPopup::Show() {
    if (window_ == nullptr || IsVisibleStyle(window_)) return;
    // Shown without activation: the dialog keeps the focus.
    ShowWindow(window_, SW_SHOWNA);
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_FRAME);
}

void CProgressPopup::Hide() {
    if (window_ == nullptr || !IsVisibleStyle(window_)) return;
    ShowWindow(window_, SW_HIDE);
}

int CProgressPopup::SetRange(int lower, int upper, int step) {
    if (window_ == nullptr) return 0;
    SendMessageA(bar_, PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
    rules_.SetRange(lower, upper, step);
    return static_cast<int>(SendMessageA(bar_, PBM_SETSTEP, static_cast<WPARAM>(step), 0));
}

int CProgressPopup::SetPos(int position) {
    if (window_ == nullptr) return rules_.Position();
    Show();
    if (rules_.SetPos(position)) SetWindowTextA(window_, rules_.Caption().c_str());
    return static_cast<int>(SendMessageA(bar_, PBM_SETPOS, static_cast<WPARAM>(position), 0));
}

void CProgressPopup::PumpMessages(bool cancelOnEscape) {
    MSG message;
    while (!cancelled_ && PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        if (cancelOnEscape && message.message == WM_CHAR && message.wParam == VK_ESCAPE) OnCancel();
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) break;
        if (message.message == WM_QUIT) {
            PostQuitMessage(0);  // for the thread's own loop
            return;
        }
        const HWND mainWindow = ThreadMainWindow();
        if (mainWindow != nullptr && IsDialogMessageA(mainWindow, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void CProgressPopup::OnCancel() {
    SavePosition();
    cancelled_ = true;
    Hide();
    const HWND mainWindow = ThreadMainWindow();
    if (mainWindow != nullptr && IsWindow(mainWindow)) SetForegroundWindow(mainWindow);
}

bool CProgressPopup::DestroyWindow() {
    if (window_ == nullptr) return false;
    SavePosition();
    return ::DestroyWindow(window_) != 0;
}

void CProgressPopup::MoveTo(int x, int y) {
    if (window_ == nullptr) return;
    SetWindowPos(window_, HWND_TOP, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

void CProgressPopup::RestorePosition() {
    const auto saved = diag::RestoredPosition(diag::Ui().Settings(), GetSystemMetrics(SM_CXSCREEN),
                                              GetSystemMetrics(SM_CYSCREEN));
    if (!saved) {
        // Never saved, or saved on a screen that is gone.
        CentreWindow(window_, GetWindow(window_, GW_OWNER));
        return;
    }
    SetWindowPos(window_, nullptr, saved->x, saved->y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CProgressPopup::SavePosition() {
    if (window_ == nullptr) return;
    RECT bounds;
    if (!GetWindowRect(window_, &bounds)) return;
    diag::SavePosition(diag::Ui().Settings(), {bounds.left, bounds.top});
}

LRESULT CProgressPopup::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: {
            const HDC dc = reinterpret_cast<HDC>(wParam);
            RECT clip;
            GetClipBox(dc, &clip);
            const HGDIOBJ previousBrush = SelectObject(dc, GetSysColorBrush(COLOR_BTNFACE));
            PatBlt(dc, clip.left, clip.top, Width(clip), Height(clip), PATCOPY);
            SelectObject(dc, previousBrush);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == kCancelButtonId && HIWORD(wParam) == BN_CLICKED) {
                OnCancel();
                return 0;
            }
            break;
        case WM_CLOSE:
            // Alt+F4 on the window: the user means Cancel, and the owner of the object
            // still holds it, so the window must not go away under it.
            OnCancel();
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

LRESULT CALLBACK CProgressPopup::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* creating =
            static_cast<CProgressPopup*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creating));
        creating->window_ = window;
    }
    auto* self = reinterpret_cast<CProgressPopup*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        self->window_ = self->textLine_ = self->bar_ = self->cancelButton_ = nullptr;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return self->OnMessage(message, wParam, lParam);
}

}  // namespace win32
