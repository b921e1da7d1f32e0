// What the Qt tests share: finding the boxes the port opened and a settings folder of
// the test's own.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdlib>

namespace qtui::test {

// The visible message box whose text contains `text`, or null.
inline QMessageBox* FindMessageBox(const QString& text) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box != nullptr && box->isVisible() && box->text().contains(text)) return box;
    }
    return nullptr;
}

// Points the settings store at a folder of this test's own for its lifetime.
class OwnSettingsFolder {
  public:
    OwnSettingsFolder() { setenv("XDG_CONFIG_HOME", folder_.path().toLocal8Bit().constData(), 1); }
    ~OwnSettingsFolder() { unsetenv("XDG_CONFIG_HOME"); }
    bool IsValid() const { return folder_.isValid(); }

  private:
    QTemporaryDir folder_;
};

}  // namespace qtui::test
