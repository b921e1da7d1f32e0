// The About box: the icon, the utility's name and version, and OK.
#pragma once

#include <QDialog>

namespace qtui {

class CAboutBox final : public QDialog {
  public:
    static constexpr const char* kCaption = "About Ethernet Motion Control Board Configurator";
    static constexpr const char* kNameLine = "Ethernet Motion Control Board Configurator";

    explicit CAboutBox(QWidget* parent);

    // "Version 0.1.0".
    static QString VersionLine();
};

}  // namespace qtui
