// The UI port of the Windows configurator: message boxes and the Retry/Cancel question
// shown by the thread that meets them, progress windows made on the calling thread,
// settings in the registry under "Local AppWizard-Generated Applications".
//
// A box shown on a thread with a main window belongs to that window and is modal to
// it; on a worker without one it stands alone, above every other window (the progress
// window is always on top and must not hide it), and while the job is cancelling it
// closes by itself (a question as Cancel). Calls may come from any thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "diag/UiPort.h"
#include "os/settings_store.h"

namespace win32 {

class Win32Ui final : public diag::UiPort, private diag::SettingsPort {
  public:
    // `title`: the caption of every box; `applicationName`: the settings key's last part.
    Win32Ui(std::string title, const std::string& applicationName);

    void ShowMessage(const std::string& text) override;
    bool AskRetryCancel(const std::string& text) override;
    std::unique_ptr<diag::ProgressWindow> CreateProgressWindow(const std::string& title,
                                                               bool smooth) override;
    diag::SettingsPort& Settings() override { return *this; }
    void SetCancelling(bool cancelling) override { cancelling_ = cancelling; }
    bool IsCancelling() const { return cancelling_.load(); }

    // The registry key of the settings, below HKEY_CURRENT_USER.
    std::string SettingsLocation() const { return store_.Location(); }

  private:
    int GetInt(const std::string& section, const std::string& key, int defaultValue) const override;
    bool SetInt(const std::string& section, const std::string& key, int value) override;
    int Box(const std::string& text, unsigned type);

    std::string title_;
    std::atomic<bool> cancelling_{false};
    mutable std::mutex mutex_;
    os::SettingsStore store_;
};

}  // namespace win32
