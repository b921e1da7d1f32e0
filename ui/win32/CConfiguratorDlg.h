// The main dialog (template 102): the three fields, "Connect, Program, and Disconnect"
// and the "Programming" box. The job runs on the dialog's thread; the dialog takes no
// input meanwhile, but its waits handle messages, so it keeps painting and can never
// be closed while the job runs.
#pragma once

#include <optional>
#include <string>

#include "app/ProgrammingJob.h"
#include "ui/win32/ThreadMainWindow.h"
#include "ui/win32/win32_headers.h"

namespace win32 {

class CConfiguratorDlg {
  public:
    static constexpr const char* kTitle = "Ethernet Motion Control Board Configurator";
    // The nickname's read buffer, terminating NUL included. The addresses are read
    // whole: the job refuses one that does not fit (15 and 17 characters) rather than
    // cut it to a valid address nobody typed.
    static constexpr int kNicknameBufferSize = 64;

    explicit CConfiguratorDlg(HINSTANCE instance);
    CConfiguratorDlg(const CConfiguratorDlg&) = delete;
    CConfiguratorDlg& operator=(const CConfiguratorDlg&) = delete;

    // Runs the dialog modally; while it runs it is its thread's main window. The
    // result is the id of the command that closed it (IDOK or IDCANCEL).
    INT_PTR DoModal(HWND parent = nullptr);

    HWND Window() const { return window_; }
    HICON Icon() const { return icon_; }
    bool JobRunning() const { return jobRunning_; }
    // The services and limits of the next job (tests: no BOOTP, loopback ports).
    void SetJobOptions(const app::JobOptions& options) { jobOptions_ = options; }

  private:
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog();
    bool OnSysCommand(WPARAM command);
    bool OnPaint();
    void OnConnectProgramDisconnect();
    static INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam,
                                            LPARAM lParam);

    HINSTANCE instance_;
    HICON icon_;
    HWND window_ = nullptr;
    HWND ipEdit_ = nullptr;
    HWND macEdit_ = nullptr;
    HWND nicknameEdit_ = nullptr;
    HWND programmingCheck_ = nullptr;
    bool jobRunning_ = false;
    std::optional<ScopedThreadMainWindow> mainWindow_;
    app::JobOptions jobOptions_;
};

}  // namespace win32
