#include "ui/qt/QtProgressWindow.h"

#include "ui/qt/GuiThread.h"
#include "ui/qt/QtUiPort.h"

namespace qtui {

QtProgressWindow::QtProgressWindow(QtUiPort& port, const std::string& title, bool smooth)
    : port_(port), rules_(title) {
    popup_ = CallAndWait<CProgressPopup*>(&port, [&port, &title, smooth, this] {
        return new CProgressPopup(port.Owner(), title, smooth, port.Settings(), cancelled_);
    });
}

QtProgressWindow::~QtProgressWindow() {
    Post(&port_, [popup = popup_] { delete popup.data(); });
}

// Every change goes through the port, so they all keep one queue and one order.
void QtProgressWindow::Change(std::function<void(CProgressPopup&)> change) {
    Post(&port_, [popup = popup_, change = std::move(change)] {
        if (popup) change(*popup);
    });
}

void QtProgressWindow::Show() {
    Change([](CProgressPopup& popup) { popup.ShowWithoutFocus(); });
}

void QtProgressWindow::Hide() {
    Change([](CProgressPopup& popup) { popup.hide(); });
}

void QtProgressWindow::MoveTo(int x, int y) {
    Change([x, y](CProgressPopup& popup) { popup.move(x, y); });
}

void QtProgressWindow::SetRange(int lower, int upper, int step) {
    rules_.SetRange(lower, upper, step);
    Change([lower, upper](CProgressPopup& popup) { popup.SetBarRange(lower, upper); });
}

void QtProgressWindow::SetPos(int position) {
    const bool captionChanged = rules_.SetPos(position);
    const QString caption = QString::fromStdString(rules_.Caption());
    Change([position, captionChanged, caption](CProgressPopup& popup) {
        popup.ShowWithoutFocus();
        if (captionChanged) popup.setWindowTitle(caption);
        popup.SetBarPosition(position);
    });
}

}  // namespace qtui
