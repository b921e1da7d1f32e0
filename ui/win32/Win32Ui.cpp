#include "ui/win32/Win32Ui.h"

#include <cstring>
#include <utility>

#include "ui/win32/CProgressPopup.h"
#include "ui/win32/ThreadMainWindow.h"
#include "ui/win32/win32_headers.h"

namespace win32 {
namespace {

// The port's view of a CProgressPopup.
class PopupProgressWindow final : public diag::ProgressWindow {
  public:
    PopupProgressWindow(const std::string& title, bool smooth) : popup_(nullptr, title, smooth) {}

    bool Exists() const { return popup_.Window() != nullptr; }

    void Show() override { popup_.Show(); }
    void Hide() override { popup_.Hide(); }
    void MoveTo(int x, int y) override { popup_.MoveTo(x, y); }
    void SetRange(int lower, int upper, int step) override { popup_.SetRange(lower, upper, step); }
    void SetPos(int position) override { popup_.SetPos(position); }
    bool IsCancelled() const override { return popup_.IsCancelled(); }
    void PumpMessages(bool cancelOnEscape) override { popup_.PumpMessages(cancelOnEscape); }
    std::string Caption() const override { return popup_.Rules().Caption(); }

  private:
    CProgressPopup popup_;
};

// How often a worker's open box looks whether the job is cancelling.
constexpr UINT kCancelCheckMs = 100;
// The port of the box this thread shows, for its timer.
thread_local const Win32Ui* boxPort = nullptr;

BOOL CALLBACK CancelBox(HWND window, LPARAM) {
    char name[16];
    if (GetClassNameA(window, name, sizeof name) > 0 && std::strcmp(name, "#32770") == 0)
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

// Runs in the box's own modal loop, so it cannot miss a box that was just opening.
void CALLBACK CloseIfCancelling(HWND, UINT, UINT_PTR, DWORD) {
    if (boxPort != nullptr && boxPort->IsCancelling())
        EnumThreadWindows(GetCurrentThreadId(), &CancelBox, 0);
}

}  // namespace

Win32Ui::Win32Ui(std::string title, const std::string& applicationName)
    : title_(std::move(title)), store_(applicationName) {}

int Win32Ui::Box(const std::string& text, unsigned type) {
    const HWND owner = ThreadMainWindow();
    if (owner != nullptr) return MessageBoxA(owner, text.c_str(), title_.c_str(), type);
    if (cancelling_) return IDCANCEL;
    // MB_SYSTEMMODAL too: some systems (Wine) make only such a box topmost.
    type |= MB_TOPMOST | MB_SYSTEMMODAL | MB_SETFOREGROUND;
    boxPort = this;
    const UINT_PTR timer = SetTimer(nullptr, 0, kCancelCheckMs, &CloseIfCancelling);
    const int answer = MessageBoxA(nullptr, text.c_str(), title_.c_str(), type);
    if (timer != 0) KillTimer(nullptr, timer);
    boxPort = nullptr;
    return answer;
}

void Win32Ui::ShowMessage(const std::string& text) {
    Box(text, MB_OK | MB_ICONINFORMATION);
}

bool Win32Ui::AskRetryCancel(const std::string& text) {
    return Box(text, MB_RETRYCANCEL | MB_ICONWARNING) == IDRETRY;
}

std::unique_ptr<diag::ProgressWindow> Win32Ui::CreateProgressWindow(const std::string& title,
                                                                    bool smooth) {
    auto window = std::make_unique<PopupProgressWindow>(title, smooth);
    if (!window->Exists()) return nullptr;
    return window;
}

int Win32Ui::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
    std::lock_guard lock(mutex_);
    return store_.GetInt(section, key, defaultValue);
}

bool Win32Ui::SetInt(const std::string& section, const std::string& key, int value) {
    std::lock_guard lock(mutex_);
    return store_.SetInt(section, key, value);
}

}  // namespace win32
