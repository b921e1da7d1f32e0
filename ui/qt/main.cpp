// The Qt configurator: the one dialog, run modally; the program ends when it closes.
#include <QApplication>
#include <QCommandLineParser>

#include "diag/CLog.h"
#include "diag/UiPort.h"
#include "ui/qt/ApplicationIdentity.h"
#include "ui/qt/CConfiguratorDlg.h"
#include "ui/qt/QtUiPort.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    qtui::SetApplicationIdentity();

    QCommandLineParser options;
    options.setApplicationDescription(
        "Ethernet Motion Control Board Configurator: gives a board in BOOTP mode its address "
        "and firmware, then writes its configuration block.");
    options.addHelpOption();
    options.addVersionOption();
    options.process(application);

    // The log view and the log file carry the log; a terminal need not.
    diag::theLog.SetConsole(nullptr);
    qtui::QtUiPort port("emcb-configurator");
    diag::SetUiPort(&port);
    int result = 0;
    {
        qtui::CConfiguratorDlg dialog(port, diag::theLog);
        result = dialog.exec();
        dialog.EndJobBeforeExit();
    }
    diag::SetUiPort(nullptr);
    return result == QDialog::Accepted || result == QDialog::Rejected ? 0 : 1;
}
