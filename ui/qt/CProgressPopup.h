// The progress window: a title with the percentage in its caption, an empty text
// area four lines high, a smooth bar and " Cancel ". Always on top, shown without
// taking the focus; Escape, while it is the active window, and closing it from the
// window manager act as Cancel. It takes
// its place from the settings store, or is centred on its owner when the saved point
// is on no screen, and stores its place on Cancel and when it goes.
//
// A GUI-thread widget. Workers use it through QtProgressWindow; `cancelled` is the
// flag they read.
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <atomic>
#include <memory>
#include <string>

#include "diag/UiPort.h"

namespace qtui {

class CProgressPopup final : public QWidget {
  public:
    static constexpr int kTextLines = 4;
    static constexpr int kWidth = 390;
    static constexpr int kMargin = 10;
    static constexpr const char* kCancelLabel = " Cancel ";

    // Hidden until shown. `settings` outlives the window.
    CProgressPopup(QWidget* owner, const std::string& title, bool smooth,
                   diag::SettingsPort& settings, std::shared_ptr<std::atomic<bool>> cancelled);
    ~CProgressPopup() override;

    void ShowWithoutFocus();
    void SetBarRange(int lower, int upper);
    void SetBarPosition(int position);
    // Saves the place, sets the cancelled flag, hides the window and brings the owner
    // back to the front.
    void OnCancel();

    bool IsCancelled() const { return cancelled_->load(); }
    bool IsSmooth() const { return smooth_; }
    QLabel* TextLine() const { return textLine_; }
    QProgressBar* Bar() const { return bar_; }
    QPushButton* CancelButton() const { return cancelButton_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void RestorePosition();
    void SavePosition();

    diag::SettingsPort& settings_;
    std::shared_ptr<std::atomic<bool>> cancelled_;
    bool smooth_;
    QLabel* textLine_;
    QProgressBar* bar_;
    QPushButton* cancelButton_;
};

}  // namespace qtui
