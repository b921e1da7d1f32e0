// A progress window for a worker thread: the caption is worked out here, by the
// shared rules, on the caller's thread; the window itself is a CProgressPopup on the
// GUI thread, and every change reaches it in order through the GUI thread's queue.
// Nothing here waits for the GUI but the creation, so PumpMessages has nothing to do,
// and IsCancelled reads the flag the popup sets.
#pragma once

#include <QPointer>
#include <atomic>
#include <memory>
#include <string>

#include "diag/ProgressRules.h"
#include "diag/UiPort.h"
#include "ui/qt/CProgressPopup.h"

namespace qtui {

class QtUiPort;

class QtProgressWindow final : public diag::ProgressWindow {
  public:
    // Creates the popup on the GUI thread, hidden, and waits for it.
    QtProgressWindow(QtUiPort& port, const std::string& title, bool smooth);
    ~QtProgressWindow() override;  // the popup goes, saving its place

    void Show() override;
    void Hide() override;
    void MoveTo(int x, int y) override;
    void SetRange(int lower, int upper, int step) override;
    void SetPos(int position) override;
    bool IsCancelled() const override { return cancelled_->load(); }
    void PumpMessages(bool) override {}
    std::string Caption() const override { return rules_.Caption(); }

    // GUI thread only (tests): the popup, null once it is gone.
    CProgressPopup* Popup() const { return popup_.data(); }

  private:
    // Runs `change` on the popup, on the GUI thread, if the popup still exists.
    void Change(std::function<void(CProgressPopup&)> change);

    QtUiPort& port_;
    diag::ProgressRules rules_;
    std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
    QPointer<CProgressPopup> popup_;
};

}  // namespace qtui
