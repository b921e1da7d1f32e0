#include "ui/win32/Win32Ui.h"

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

}  // namespace

Win32Ui::Win32Ui(std::string title, const std::string& applicationName)
    : title_(std::move(title)), store_(applicationName) {}

int Win32Ui::Box(const std::string& text, unsigned type) {
    const HWND owner = ThreadMainWindow();
    // MB_SYSTEMMODAL too: some systems (Wine) make only such a box topmost.
    if (owner == nullptr) type |= MB_TOPMOST | MB_SYSTEMMODAL | MB_SETFOREGROUND;
    return MessageBoxA(owner, text.c_str(), title_.c_str(), type);
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
