// What the Qt tests share: finding the boxes the port opened, a settings folder of
// the test's own, and a free UDP port.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdint>
#include <cstdlib>

#include "os/udp_socket.h"

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

// A UDP port that was free a moment ago.
inline std::uint16_t FreeUdpPort() {
    os::UdpSocket probe;
    if (!probe.Open() || !probe.Bind(0, 0)) return 0;
    return probe.LocalPort();
}

}  // namespace qtui::test
