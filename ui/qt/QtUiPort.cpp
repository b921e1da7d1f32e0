#include "ui/qt/QtUiPort.h"

#include <QAbstractButton>
#include <future>
#include <memory>

#include "ui/qt/GuiThread.h"
#include "ui/qt/QtProgressWindow.h"

namespace qtui {

QtUiPort::QtUiPort(const std::string& applicationName)
    : settings_(os::SettingsStore(applicationName)) {}

QtUiPort::~QtUiPort() {
    Shutdown();
}

void QtUiPort::SetStageHandler(std::function<void(const diag::JobStage&)> handler) {
    stageHandler_ = std::move(handler);
}

void QtUiPort::Shutdown() {
    shutDown_ = true;
    CloseOpenBoxes();
}

void QtUiPort::CloseOpenBoxes() {
    for (const QPointer<QMessageBox>& box : openBoxes_)
        delete box.data();  // its waiting thread gets the box's unanswered result
    openBoxes_.clear();
}

void QtUiPort::SetCancelling(bool cancelling) {
    cancelling_ = cancelling;
    if (!cancelling) return;
    // A box asked for before this is opened first, so it is among those closed.
    Post(this, [this] {
        if (cancelling_) CloseOpenBoxes();
    });
}

QMessageBox* QtUiPort::NewBox(QMessageBox::Icon icon, const std::string& text,
                              QMessageBox::StandardButtons buttons) {
    auto* box = new QMessageBox(icon, kCaption, QString::fromStdString(text), buttons, owner_);
    box->setTextFormat(Qt::PlainText);
    return box;
}

// The box opens without a nested event loop, so the GUI thread goes on as before;
// the asking thread waits for the box to go, which also happens when its owner goes.
QtUiPort::Button QtUiPort::Ask(QMessageBox::Icon icon, const std::string& text,
                               QMessageBox::StandardButtons buttons, Button unanswered) {
    if (shutDown_ || cancelling_) return unanswered;
    if (OnThreadOf(this)) {
        std::unique_ptr<QMessageBox> box(NewBox(icon, text, buttons));
        box->exec();
        const Button pressed = box->standardButton(box->clickedButton());
        return pressed == QMessageBox::NoButton ? unanswered : pressed;
    }
    auto answer = std::make_shared<std::promise<Button>>();
    std::future<Button> answered = answer->get_future();
    Post(this, [this, icon, text, buttons, unanswered, answer] {
        if (shutDown_ || cancelling_) {
            answer->set_value(unanswered);
            return;
        }
        QMessageBox* box = NewBox(icon, text, buttons);
        box->setAttribute(Qt::WA_DeleteOnClose);
        auto pressed = std::make_shared<Button>(unanswered);
        connect(box, &QMessageBox::buttonClicked, box, [box, pressed](QAbstractButton* button) {
            *pressed = box->standardButton(button);
        });
        connect(box, &QObject::destroyed, [answer, pressed] { answer->set_value(*pressed); });
        std::erase_if(openBoxes_, [](const QPointer<QMessageBox>& gone) { return gone.isNull(); });
        openBoxes_.push_back(box);
        box->open();
    });
    return answered.get();
}

void QtUiPort::ShowMessage(const std::string& text) {
    Ask(QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtUiPort::AskRetryCancel(const std::string& text) {
    return Ask(QMessageBox::Question, text, QMessageBox::Retry | QMessageBox::Cancel,
               QMessageBox::Cancel) == QMessageBox::Retry;
}

std::unique_ptr<diag::ProgressWindow> QtUiPort::CreateProgressWindow(const std::string& title,
                                                                     bool smooth) {
    if (shutDown_) return nullptr;
    return std::make_unique<QtProgressWindow>(*this, title, smooth);
}

void QtUiPort::OnJobStage(const diag::JobStage& stage) {
    Post(this, [this, stage] {
        if (stageHandler_) stageHandler_(stage);
    });
}

}  // namespace qtui
