#include "ui/qt/ApplicationIdentity.h"

#include <QApplication>

#include "ui/qt/AppIcon.h"

#ifndef EMCB_VERSION
#error "EMCB_VERSION must be defined by the build"
#endif

namespace qtui {

void SetApplicationIdentity() {
    QApplication::setApplicationName("emcb-configurator");
    QApplication::setApplicationVersion(EMCB_VERSION);
    QApplication::setWindowIcon(AppIcon());
    QGuiApplication::setDesktopFileName("emcb-configurator");
}

}  // namespace qtui
