#include "ui/qt/LogView.h"

#include <QFontDatabase>
#include <QTextCursor>
#include <QVBoxLayout>

#include "diag/CLog.h"
#include "os/log_folder.h"

namespace qtui {
namespace {

QString FileText(const diag::CLog& log) {
    if (log.HasFile()) return QString("Log file: %1").arg(QString::fromLocal8Bit(log.FilePath()));
    return QString("Log file: none (the folder %1 does not exist)")
        .arg(QString::fromLocal8Bit(os::LogFolder()));
}

}  // namespace

LogView* LogView::fed_ = nullptr;

LogView::LogView(diag::CLog& log, QWidget* parent)
    : QWidget(parent), log_(log), fileLabel_(new QLabel(this)), lines_(new QPlainTextEdit(this)) {
    fileLabel_->setTextFormat(Qt::PlainText);
    fileLabel_->setText(FileText(log));
    fileLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lines_->setReadOnly(true);
    lines_->setMaximumBlockCount(kMaxLines);
    lines_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(fileLabel_);
    layout->addWidget(lines_);

    fed_ = this;
    log_.SetListBox([this](const char* line) {
        std::lock_guard lock(mutex_);
        waiting_.emplace_back(line);
        if (waiting_.size() > static_cast<std::size_t>(kMaxLines)) waiting_.pop_front();
    });
    connect(&refresh_, &QTimer::timeout, this, &LogView::Drain);
    refresh_.start(kRefreshMs);
}

LogView::~LogView() {
    if (fed_ != this) return;  // a later view took the log over
    log_.ClearListBox();
    fed_ = nullptr;
}

void LogView::ShowLatest() {
    Drain();
    lines_->moveCursor(QTextCursor::End);
    lines_->ensureCursorVisible();
}

void LogView::Drain() {
    std::deque<std::string> lines;
    {
        std::lock_guard lock(mutex_);
        lines.swap(waiting_);
    }
    for (const std::string& line : lines)
        lines_->appendPlainText(QString::fromLocal8Bit(line.c_str()));
}

}  // namespace qtui
