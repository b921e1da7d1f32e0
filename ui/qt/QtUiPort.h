// The UI port of the Qt configurator. It lives on the GUI thread; the job calls it
// from its worker threads, and every call that touches a widget is marshalled to the
// GUI thread. A message or question blocks the asking thread until it is answered,
// never the GUI thread: boxes open without a nested event loop. Progress windows are
// CProgressPopups on the GUI thread behind a QtProgressWindow.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "diag/StoredSettings.h"
#include "diag/UiPort.h"

namespace qtui {

class QtUiPort final : public QObject, public diag::UiPort {
  public:
    static constexpr const char* kCaption = "Ethernet Motion Control Board Configurator";

    // Settings live in the platform's store under `applicationName`.
    explicit QtUiPort(const std::string& applicationName);
    ~QtUiPort() override;

    // GUI thread only: the window boxes and progress windows belong to (may be null),
    // and who is shown each job stage.
    void SetOwner(QWidget* owner) { owner_ = owner; }
    QWidget* Owner() const { return owner_; }
    void SetStageHandler(std::function<void(const diag::JobStage&)> handler);
    // GUI thread only: closes the open boxes (Cancel, or OK) and from now on answers
    // at once, for a program that ends while its job still runs.
    void Shutdown();
    bool IsShutDown() const { return shutDown_.load(); }

    void ShowMessage(const std::string& text) override;
    bool AskRetryCancel(const std::string& text) override;
    std::unique_ptr<diag::ProgressWindow> CreateProgressWindow(const std::string& title,
                                                               bool smooth) override;
    diag::SettingsPort& Settings() override { return settings_; }
    void OnJobStage(const diag::JobStage& stage) override;
    // While the job ends its services: the open boxes close (a question as Cancel) and
    // new ones are answered at once. Any thread.
    void SetCancelling(bool cancelling) override;

    std::string SettingsLocation() const { return settings_.Location(); }

  private:
    using Button = QMessageBox::StandardButton;

    Button Ask(QMessageBox::Icon icon, const std::string& text,
               QMessageBox::StandardButtons buttons, Button unanswered);
    QMessageBox* NewBox(QMessageBox::Icon icon, const std::string& text,
                        QMessageBox::StandardButtons buttons);

    diag::StoredSettings settings_;
    void CloseOpenBoxes();  // GUI thread

    std::atomic<bool> shutDown_{false};
    std::atomic<bool> cancelling_{false};
    QPointer<QWidget> owner_;                                  // GUI thread
    std::function<void(const diag::JobStage&)> stageHandler_;  // GUI thread
    std::vector<QPointer<QMessageBox>> openBoxes_;             // GUI thread
};

}  // namespace qtui
