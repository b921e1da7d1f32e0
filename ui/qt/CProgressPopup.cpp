#include "ui/qt/CProgressPopup.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include "diag/ProgressRules.h"

namespace qtui {

CProgressPopup::CProgressPopup(QWidget* owner, const std::string& title, bool smooth,
                               diag::SettingsPort& settings,
                               std::shared_ptr<std::atomic<bool>> cancelled)
    : QWidget(owner,
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      settings_(settings),
      cancelled_(std::move(cancelled)),
      smooth_(smooth),
      textLine_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      cancelButton_(new QPushButton(kCancelLabel, this)) {
    setWindowTitle(QString::fromStdString(title));
    setAttribute(Qt::WA_ShowWithoutActivating);

    textLine_->setTextFormat(Qt::PlainText);
    textLine_->setWordWrap(false);
    textLine_->setFixedSize(kWidth, QFontMetrics(textLine_->font()).lineSpacing() * kTextLines);
    bar_->setTextVisible(false);  // the percentage is in the caption
    bar_->setRange(0, 100);
    bar_->setValue(0);
    cancelButton_->setAutoDefault(false);
    connect(cancelButton_, &QPushButton::clicked, this, &CProgressPopup::OnCancel);

    auto* row = new QHBoxLayout;
    row->setSpacing(kMargin);
    row->addWidget(bar_, 1);
    row->addWidget(cancelButton_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    column->setSpacing(kMargin);
    column->addWidget(textLine_);
    column->addLayout(row);
    column->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    RestorePosition();
}

CProgressPopup::~CProgressPopup() {
    SavePosition();
}

void CProgressPopup::ShowWithoutFocus() {
    if (!isVisible()) show();
}

void CProgressPopup::SetBarRange(int lower, int upper) {
    bar_->setRange(lower, upper);
}

void CProgressPopup::SetBarPosition(int position) {
    bar_->setValue(position);
}

void CProgressPopup::OnCancel() {
    SavePosition();
    cancelled_->store(true);
    hide();
    if (QWidget* owner = parentWidget()) {
        owner->raise();
        owner->activateWindow();
    }
}

void CProgressPopup::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        OnCancel();
        return;
    }
    QWidget::keyPressEvent(event);
}

// The title bar's close button must not merely hide a transfer the user wants gone.
void CProgressPopup::closeEvent(QCloseEvent* event) {
    if (isVisible()) OnCancel();
    event->accept();
}

void CProgressPopup::RestorePosition() {
    const auto saved = diag::RestoredPosition(settings_, [](diag::ScreenPoint corner) {
        return QGuiApplication::screenAt(QPoint(corner.x, corner.y)) != nullptr;
    });
    if (saved) {
        move(saved->x, saved->y);
        return;
    }
    QRect around;
    if (parentWidget() != nullptr && parentWidget()->isVisible())
        around = parentWidget()->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        around = screen->availableGeometry();
    move(around.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
}

void CProgressPopup::SavePosition() {
    diag::SavePosition(settings_, {pos().x(), pos().y()});
}

}  // namespace qtui
