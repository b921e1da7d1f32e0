// The main dialog: the texts, fields and order of the Windows dialog template, with
// Help (or F1) for the About box in place of the system menu, and below them a
// status line fed by the job's stages and a "Show log" toggle for a live log view.
//
// "Connect, Program, and Disconnect" runs the job on a worker thread while the fields
// and the button are disabled; the GUI thread never waits for it. Closing the dialog
// during a job asks whether to cancel it; the dialog closes once the cancelled job
// has ended. GUI thread only.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <atomic>
#include <optional>
#include <thread>
#include <vector>

#include "app/ProgrammingJob.h"
#include "diag/JobStage.h"
#include "ui/qt/CAboutBox.h"
#include "ui/qt/LogView.h"
#include "ui/qt/QtUiPort.h"

namespace qtui {

class CConfiguratorDlg final : public QDialog {
  public:
    static constexpr const char* kCaption = "Ethernet Motion Control Board Configurator";
    static constexpr const char* kCancelQuestion =
        "A board is being programmed.\n\nCancel the job and close the configurator?";

    // Becomes `port`'s owner and stage handler, and `log`'s live view; both outlive it.
    CConfiguratorDlg(QtUiPort& port, diag::CLog& log);
    ~CConfiguratorDlg() override;

    // The services and timing of the next jobs (tests); the defaults are the real ones.
    void SetJobOptions(const app::JobOptions& options) { options_ = options; }
    bool IsJobRunning() const { return worker_.joinable(); }
    // Cancels a running job, answers its questions and waits for it while the GUI
    // thread goes on: for leaving the program.
    void EndJobBeforeExit();

    // Closing (Exit, Escape, the close button) during a job asks first.
    void done(int result) override;

    // The controls and what the dialog saw, for tests.
    QPushButton* ExitButton() const { return exit_; }
    QLineEdit* MacEdit() const { return mac_; }
    QPushButton* ConnectButton() const { return connect_; }
    QLineEdit* NicknameEdit() const { return nickname_; }
    QLineEdit* IpEdit() const { return ip_; }
    QCheckBox* ProgrammingCheck() const { return programming_; }
    QPushButton* HelpButton() const { return help_; }
    QCheckBox* ShowLogButton() const { return showLog_; }
    QLabel* StatusLine() const { return status_; }
    LogView* Log() const { return log_; }
    CAboutBox* AboutBox() const { return about_; }
    QMessageBox* CancelQuestion() const { return cancelQuestion_; }
    const std::vector<diag::JobStage>& Stages() const { return stages_; }
    const std::optional<app::JobReport>& LastReport() const { return lastReport_; }

  private:
    QLabel* Hint(const char* text, int minimumWidth);
    QLayout* TemplateLayout();
    void SetTabOrder();
    void OnConnect();
    void OnStage(const diag::JobStage& stage);
    void OnJobEnded(const app::JobReport& report);
    void OnAbout();
    void OnShowLog(bool shown);
    void AskToCancel();
    void SetInputEnabled(bool enabled);

    QtUiPort& port_;
    app::JobOptions options_;
    QPushButton* exit_;
    QLineEdit* mac_;
    QPushButton* connect_;
    QLineEdit* nickname_;
    QLineEdit* ip_;
    QCheckBox* programming_;
    QPushButton* help_;
    QCheckBox* showLog_;
    QLabel* status_;
    LogView* log_;
    QPointer<CAboutBox> about_;
    QPointer<QMessageBox> cancelQuestion_;
    std::vector<diag::JobStage> stages_;
    std::optional<app::JobReport> lastReport_;
    std::atomic<bool> cancel_{false};
    bool closeAfterJob_ = false;
    std::thread worker_;
};

}  // namespace qtui
