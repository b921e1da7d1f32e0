#include "ui/win32/CConfiguratorDlg.h"

#include <vector>

#include "app/config_block.h"
#include "ui/win32/CAboutBox.h"
#include "ui/win32/MessagePump.h"
#include "ui/win32/WindowPlacement.h"
#include "ui/win32/resource.h"

namespace win32 {
namespace {

constexpr WPARAM kSystemCommandMask = 0xFFF0;  // the low four bits are the system's own
constexpr int kMenuTextCapacity = 256;

void SetCheck(HWND button, bool checked) {
    SendMessageA(button, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// At most `bufferSize` - 1 characters, as a fixed buffer of that size reads them.
std::string ReadField(HWND edit, int bufferSize) {
    std::vector<char> text(static_cast<std::size_t>(bufferSize), '\0');
    const int length = GetWindowTextA(edit, text.data(), bufferSize);
    return std::string(text.data(), static_cast<std::size_t>(length > 0 ? length : 0));
}

std::string ReadWholeField(HWND edit) {
    return ReadField(edit, GetWindowTextLengthA(edit) + 1);
}

}  // namespace

CConfiguratorDlg::CConfiguratorDlg(HINSTANCE instance)
    : instance_(instance), icon_(LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

INT_PTR CConfiguratorDlg::DoModal(HWND parent) {
    return DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_CONFIGURATOR_DIALOG), parent,
                           &DialogProcedure, reinterpret_cast<LPARAM>(this));
}

BOOL CConfiguratorDlg::OnInitDialog() {
    ipEdit_ = GetDlgItem(window_, IDC_IP_ADDRESS);
    macEdit_ = GetDlgItem(window_, IDC_SERVER_MAC);
    nicknameEdit_ = GetDlgItem(window_, IDC_NICKNAME);
    programmingCheck_ = GetDlgItem(window_, IDC_PROGRAMMING);

    char aboutText[kMenuTextCapacity];
    const HMENU systemMenu = GetSystemMenu(window_, FALSE);
    if (systemMenu != nullptr &&
        LoadStringA(instance_, IDS_ABOUTBOX, aboutText, kMenuTextCapacity) > 0) {
        AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
    }
    SetWindowTextA(window_, kTitle);
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

    SetWindowTextA(ipEdit_, app::kDefaultIpText);
    SetWindowTextA(macEdit_, app::kDefaultMacText);
    SetWindowTextA(nicknameEdit_, app::kDefaultNicknameText);
    SetCheck(programmingCheck_, false);
    // The template has no position of its own: the middle of the screen it is on.
    CentreWindow(window_, nullptr);
    mainWindow_.emplace(window_);
    return TRUE;  // the focus goes to the first tab stop, "Exit"
}

bool CConfiguratorDlg::OnSysCommand(WPARAM command) {
    if ((command & kSystemCommandMask) != IDM_ABOUTBOX) return false;
    // A nested modal loop would hold up a running job's waits.
    if (!jobRunning_) CAboutBox(instance_).DoModal(window_);
    return true;
}

bool CConfiguratorDlg::OnPaint() {
    if (!IsIconic(window_)) return false;
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window_, &paint);
    SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(window_, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(window_, &paint);
    return true;
}

bool CConfiguratorDlg::OnSetCursor(LPARAM hitTest) {
    // Over the caption and the frame the usual cursors, so the dialog still moves.
    if (!showingBusy_ || LOWORD(hitTest) != HTCLIENT) return false;
    SetCursor(LoadCursorA(nullptr, IDC_APPSTARTING));
    SetWindowLongPtrA(window_, DWLP_MSGRESULT, TRUE);
    return true;
}

// Exit and Enter (IDOK), Escape, the close box and Alt+F4 (IDCANCEL).
void CConfiguratorDlg::OnClose(WORD command) {
    if (!jobRunning_) {
        EndDialog(window_, command);
        return;
    }
    // Once the job's end is known its message is on the way: nothing left to cancel.
    if (showingBusy_ && !cancel_) AskToCancel();
}

// Asked from inside the job's wait, which goes on only once it is answered.
void CConfiguratorDlg::AskToCancel() {
    if (asking_) return;
    asking_ = true;
    const int answer =
        MessageBoxA(window_, kCancelQuestion, kTitle, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    asking_ = false;
    if (answer == IDYES) cancel_ = true;
}

// The fields, the button and the box greyed and the busy cursor while the job runs;
// the focus, which must not stay on a greyed control, on Exit meanwhile.
void CConfiguratorDlg::ShowJobRunning(bool running) {
    if (showingBusy_ == running) return;
    showingBusy_ = running;
    if (running) focusBeforeJob_ = GetFocus();
    SetCheck(programmingCheck_, running);
    for (const int id : {IDC_IP_ADDRESS, IDC_SERVER_MAC, IDC_NICKNAME,
                         IDC_CONNECT_PROGRAM_DISCONNECT, IDC_PROGRAMMING})
        EnableWindow(GetDlgItem(window_, id), running ? FALSE : TRUE);
    HWND focus = running ? GetDlgItem(window_, IDOK) : focusBeforeJob_;
    if (focus == nullptr || !IsWindow(focus)) focus = GetDlgItem(window_, IDOK);
    SendMessageA(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
    POINT cursor;
    if (GetCursorPos(&cursor) && WindowFromPoint(cursor) != nullptr &&
        (WindowFromPoint(cursor) == window_ || IsChild(window_, WindowFromPoint(cursor))))
        SetCursor(LoadCursorA(nullptr, running ? IDC_APPSTARTING : IDC_ARROW));
}

void CConfiguratorDlg::OnConnectProgramDisconnect() {
    if (jobRunning_) return;
    jobRunning_ = true;
    cancel_ = false;
    ShowJobRunning(true);

    app::JobFields fields;
    fields.ip = ReadWholeField(ipEdit_);
    fields.mac = ReadWholeField(macEdit_);
    fields.nickname = ReadField(nicknameEdit_, kNicknameBufferSize);
    app::JobOptions options = options_;
    options.cancel = &cancel_;
    // The job's every wait handles the dialog's messages: it paints, and Windows never
    // takes it for hung; the user's way in is the cancel question.
    options.sleepMs = [this](std::uint32_t ms) { PumpMessagesWhileWaiting(window_, ms); };
    // The result box comes after the dialog shows the job has ended.
    options.beforeOutcomeMessage = [this] { ShowJobRunning(false); };
    lastReport_ = app::RunProgrammingJob(fields, options);
    ShowJobRunning(false);
    jobRunning_ = false;
}

INT_PTR CConfiguratorDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_SYSCOMMAND:
            return OnSysCommand(wParam) ? TRUE : FALSE;
        case WM_PAINT:
            return OnPaint() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(icon_);
        case WM_SETCURSOR:
            return OnSetCursor(lParam) ? TRUE : FALSE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_CONNECT_PROGRAM_DISCONNECT && HIWORD(wParam) == BN_CLICKED) {
                OnConnectProgramDisconnect();
                return TRUE;
            }
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                OnClose(LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        case WM_NCDESTROY:
            mainWindow_.reset();
            window_ = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK CConfiguratorDlg::DialogProcedure(HWND dialog, UINT message, WPARAM wParam,
                                                   LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        reinterpret_cast<CConfiguratorDlg*>(lParam)->window_ = dialog;
    }
    auto* self = reinterpret_cast<CConfiguratorDlg*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (self == nullptr) return FALSE;
    return self->OnMessage(message, wParam, lParam);
}

}  // namespace win32
