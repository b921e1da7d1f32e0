// A live view of the diagnostic log: the log file's name above the lines the log
// writes. The log's line sink may be called on any thread; lines wait in a buffer
// that the GUI thread empties into the view a few times a second, so a busy log
// never floods the GUI thread's queue.
//
// Create and destroy it while no other thread logs (before a job, after it). The log
// feeds one view: the latest made, until it goes.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <mutex>
#include <string>

namespace diag {
class CLog;
}

namespace qtui {

class LogView final : public QWidget {
  public:
    static constexpr int kMaxLines = 5000;
    static constexpr int kRefreshMs = 100;

    // Becomes `log`'s line sink; `log` outlives the view.
    LogView(diag::CLog& log, QWidget* parent);
    ~LogView() override;

    QLabel* FileLabel() const { return fileLabel_; }
    QPlainTextEdit* Lines() const { return lines_; }
    // Moves the waiting lines into the view now (GUI thread).
    void Drain();
    // Drains, and scrolls to the last line.
    void ShowLatest();

  private:
    static LogView* fed_;  // the view the log feeds; GUI thread

    diag::CLog& log_;
    QLabel* fileLabel_;
    QPlainTextEdit* lines_;
    QTimer refresh_;
    std::mutex mutex_;
    std::deque<std::string> waiting_;
};

}  // namespace qtui
