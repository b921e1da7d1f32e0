#include "ui/win32/CConfiguratorDlg.h"

#include <vector>

#include "app/ProgrammingJob.h"
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

void CConfiguratorDlg::OnConnectProgramDisconnect() {
    if (jobRunning_) return;
    jobRunning_ = true;
    const HWND focus = GetFocus();
    EnableWindow(window_, FALSE);
    SetCheck(programmingCheck_, true);

    app::JobFields fields;
    fields.ip = ReadWholeField(ipEdit_);
    fields.mac = ReadWholeField(macEdit_);
    fields.nickname = ReadField(nicknameEdit_, kNicknameBufferSize);
    app::JobOptions options = jobOptions_;
    // The job's every wait handles the dialog's messages: it paints, and Windows never
    // takes it for hung, while its disabled input keeps the user out until the end.
    options.sleepMs = [this](std::uint32_t ms) { PumpMessagesWhileWaiting(window_, ms); };
    app::RunProgrammingJob(fields, options);

    SetCheck(programmingCheck_, false);
    EnableWindow(window_, TRUE);
    if (GetActiveWindow() == nullptr) SetActiveWindow(window_);
    if (focus != nullptr && IsWindow(focus)) SetFocus(focus);
    jobRunning_ = false;
}

INT_PTR CConfiguratorDlg::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_SYSCOMMAND:
            return OnSysCommand(wParam) ? TRUE : FALSE;
        case WM_PAINT:
            return OnPaint() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(icon_);
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_CONNECT_PROGRAM_DISCONNECT && HIWORD(wParam) == BN_CLICKED) {
                OnConnectProgramDisconnect();
                return TRUE;
            }
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                // Enter, Escape, "Exit" and the close box: none may end a running job.
                if (!jobRunning_) EndDialog(window_, LOWORD(wParam));
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
