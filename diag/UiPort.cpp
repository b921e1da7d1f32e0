#include "diag/UiPort.h"

#include <atomic>
#include <map>
#include <mutex>
#include <utility>

#include "diag/CLog.h"
#include "diag/ProgressRules.h"

namespace diag {
namespace {

// The stand-in used before a front-end installs its port: nobody is there to answer,
// so every question is answered Cancel, the choice that lets a waiting worker end.
class LoggingProgressWindow final : public ProgressWindow {
  public:
    explicit LoggingProgressWindow(std::string title) : rules_(std::move(title)) {}
    void Show() override {}
    void Hide() override {}
    void MoveTo(int, int) override {}
    void SetRange(int lower, int upper, int step) override { rules_.SetRange(lower, upper, step); }
    void SetPos(int position) override { rules_.SetPos(position); }
    bool IsCancelled() const override { return false; }
    void PumpMessages(bool) override {}
    std::string Caption() const override { return rules_.Caption(); }

  private:
    ProgressRules rules_;
};

class MemorySettings final : public SettingsPort {
  public:
    int GetInt(const std::string& section, const std::string& key,
               int defaultValue) const override {
        std::lock_guard lock(mutex_);
        const auto found = values_.find(section + '\n' + key);
        return found == values_.end() ? defaultValue : found->second;
    }
    bool SetInt(const std::string& section, const std::string& key, int value) override {
        std::lock_guard lock(mutex_);
        values_[section + '\n' + key] = value;
        return true;
    }

  private:
    mutable std::mutex mutex_;
    std::map<std::string, int> values_;
};

class LoggingUiPort final : public UiPort {
  public:
    void ShowMessage(const std::string& text) override {
        theLog.Print("UiPort::ShowMessage - %s", text.c_str());
    }
    bool AskRetryCancel(const std::string& text) override {
        theLog.Print("UiPort::AskRetryCancel - %s (no user interface: Cancel)", text.c_str());
        return false;
    }
    std::unique_ptr<ProgressWindow> CreateProgressWindow(const std::string& title, bool) override {
        return std::make_unique<LoggingProgressWindow>(title);
    }
    SettingsPort& Settings() override { return settings_; }

  private:
    MemorySettings settings_;
};

LoggingUiPort& DefaultPort() {
    static LoggingUiPort port;
    return port;
}

std::atomic<UiPort*> installedPort{nullptr};

}  // namespace

void SetUiPort(UiPort* port) {
    installedPort.store(port);
}

UiPort& Ui() {
    UiPort* port = installedPort.load();
    return port != nullptr ? *port : DefaultPort();
}

}  // namespace diag
