// The main dialog (template 102): the three fields, "Connect, Program, and Disconnect"
// and the "Programming" box. The job runs on the dialog's thread, and its waits handle
// the dialog's messages: during the job the fields and the button are greyed and the
// cursor shows that the program is busy, while the dialog itself stays enabled (it
// paints, moves, and owns the boxes, so that it is active again after each). Exit,
// Escape, the close box and Alt+F4 then ask whether to cancel the job.
#pragma once

#include <atomic>
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
    static constexpr const char* kCancelQuestion =
        "Cancel the job? The board may be left unprogrammed.";

    explicit CConfiguratorDlg(HINSTANCE instance);
    CConfiguratorDlg(const CConfiguratorDlg&) = delete;
    CConfiguratorDlg& operator=(const CConfiguratorDlg&) = delete;

    // Runs the dialog modally; while it runs it is its thread's main window. The
    // result is the id of the command that closed it (IDOK or IDCANCEL).
    INT_PTR DoModal(HWND parent = nullptr);

    HWND Window() const { return window_; }
    HICON Icon() const { return icon_; }
    bool JobRunning() const { return jobRunning_; }
    // The services and timing of the next jobs (tests); the defaults are the real ones.
    void SetJobOptions(const app::JobOptions& options) { options_ = options; }
    const std::optional<app::JobReport>& LastReport() const { return lastReport_; }

  private:
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog();
    bool OnSysCommand(WPARAM command);
    bool OnPaint();
    bool OnSetCursor(LPARAM hitTest);
    void OnClose(WORD command);
    void OnConnectProgramDisconnect();
    void ShowJobRunning(bool running);
    void AskToCancel();
    static INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam,
                                            LPARAM lParam);

    HINSTANCE instance_;
    HICON icon_;
    HWND window_ = nullptr;
    HWND ipEdit_ = nullptr;
    HWND macEdit_ = nullptr;
    HWND nicknameEdit_ = nullptr;
    HWND programmingCheck_ = nullptr;
    app::JobOptions options_;
    std::optional<app::JobReport> lastReport_;
    bool jobRunning_ = false;   // from the click until the job returns
    bool showingBusy_ = false;  // until the job's end is known, before its message
    bool asking_ = false;       // the cancel question is open
    HWND focusBeforeJob_ = nullptr;
    std::atomic<bool> cancel_{false};
    std::optional<ScopedThreadMainWindow> mainWindow_;
};

}  // namespace win32
