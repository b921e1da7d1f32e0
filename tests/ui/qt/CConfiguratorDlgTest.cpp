// The main dialog: its template, fields and order, and whole jobs started by its
// button. The job against the simulated board runs only inside the computer's
// network namespace (EMCB_QT_NETNS=1, set by the namespace scenario).
#include "ui/qt/CConfiguratorDlg.h"

#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <cstring>

#include "diag/CLog.h"
#include "tests/support/AddressTexts.h"
#include "tests/support/NoBoardJobOptions.h"
#include "tests/support/UnusedUdpPort.h"
#include "tests/ui/qt/QtTestSupport.h"
#include "ui/qt/ApplicationIdentity.h"

namespace qtui {
namespace {

using diag::JobStageKind;

const QStringList kTemplateTexts = {
    "Server MAC Address:",
    "Nickname:",
    "IP Address:",
    "The IP Address is the address you wish to assign to the board.",
    "The Server MAC Address may be left as FF-FF-FF-FF-FF-FF which will allow the board to "
    "communicate with any computer.",
    "The Nickname helps you identify which board you are communicating with.  This name is "
    "stored in the XML and if it changes, the plugin will let you know that you are talking to "
    "a board with a different nickname than before.",
    "Attach a shorting jumper to the BOOTP jumper on the board to force the BOOTP mode of "
    "operation.  That will enable this utility to communicate with the board.",
    "The IP address that you assign must be on the same subnet as the IP address of the "
    "Ethernet adapter that you are using.",
    "If you wish to lock the board to a specific computer, enter the MAC address of the "
    "Ethernet adapter that you wish to lock it to.",
    "Then the board will not work with any other adapters (though it will still respond to "
    "this utility when operating in BOOTP mode).",
};

QStringList LabelTexts(const QWidget& dialog) {
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

// Types `text` as a keyboard would, characters outside ASCII included.
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
}

bool Collapsed(const std::vector<diag::JobStage>& stages, const std::vector<JobStageKind>& kinds) {
    std::vector<JobStageKind> seen;
    for (const diag::JobStage& stage : stages)
        if (seen.empty() || seen.back() != stage.kind) seen.push_back(stage.kind);
    return seen == kinds;
}

}  // namespace

class CConfiguratorDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { SetApplicationIdentity(); }  // as the program names itself
    void init() {
        settings_ = std::make_unique<test::OwnSettingsFolder>();
        port_ = std::make_unique<QtUiPort>("emcb-dialog-test");
        diag::SetUiPort(port_.get());
        dialog_ = std::make_unique<CConfiguratorDlg>(*port_, diag::theLog);
    }
    void cleanup() {
        dialog_.reset();
        diag::SetUiPort(nullptr);
        port_.reset();
        settings_.reset();
    }

    void templateTextsAndDefaults() {
        CConfiguratorDlg& dialog = *dialog_;
        QCOMPARE(dialog.windowTitle(), QString("Ethernet Motion Control Board Configurator"));
        const QStringList labels = LabelTexts(dialog);
        for (const QString& text : kTemplateTexts)
            QVERIFY2(labels.contains(text), qPrintable(text));
        QCOMPARE(dialog.ExitButton()->text(), QString("Exit"));
        QCOMPARE(dialog.ConnectButton()->text(), QString("Connect, Program, and Disconnect"));
        QCOMPARE(dialog.ProgrammingCheck()->text(), QString("Programming"));
        QCOMPARE(dialog.IpEdit()->text(), QString("10.9.9.9"));
        QCOMPARE(dialog.MacEdit()->text(), QString("FF-FF-FF-FF-FF-FF"));
        QCOMPARE(dialog.NicknameEdit()->text(), QString("New Ethernet Orvantis"));
        QVERIFY(!dialog.ProgrammingCheck()->isChecked());
        QVERIFY(dialog.ExitButton()->isDefault());
        QVERIFY(!dialog.windowIcon().isNull());
        dialog.show();
        QCOMPARE(dialog.focusWidget(), dialog.ExitButton());
        QVERIFY(!dialog.Log()->isVisible());
        QVERIFY(dialog.Log()->FileLabel()->text().startsWith("Log file: "));
    }

    // The fields follow the hints above them, and "Programming" sits under the button.
    void layoutKeepsTheFieldsUnderTheHintsAndTheBoxUnderTheButton() {
        CConfiguratorDlg& dialog = *dialog_;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const auto place = [&dialog](const QWidget* widget) {
            return QRect(widget->mapTo(&dialog, QPoint(0, 0)), widget->size());
        };
        const QLabel* subnetHint = nullptr;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            if (label->text() == kTemplateTexts[7]) subnetHint = label;  // the subnet hint
        QVERIFY(subnetHint != nullptr);
        const int gap = place(dialog.IpEdit()).top() - place(subnetHint).bottom();
        QVERIFY2(gap <= 2 * dialog.fontMetrics().lineSpacing(), qPrintable(QString::number(gap)));
        const QRect button = place(dialog.ConnectButton());
        const QRect box = place(dialog.ProgrammingCheck());
        QVERIFY(box.top() > button.bottom());
        QVERIFY2(
            std::abs(box.center().x() - button.center().x()) <= 2,
            qPrintable(QString("%1 against %2").arg(box.center().x()).arg(button.center().x())));
    }

    void readLimitsHoldAsTheUserTypes() {
        CConfiguratorDlg& dialog = *dialog_;
        dialog.show();
        const struct {
            QLineEdit* edit;
            int limit;
        } fields[] = {{dialog.IpEdit(), 15}, {dialog.MacEdit(), 17}, {dialog.NicknameEdit(), 63}};
        for (const auto& field : fields) {
            field.edit->clear();
            QTest::keyClicks(field.edit, QString(80, 'x'));
            QCOMPARE(field.edit->text().size(), field.limit);
        }
        // The job reads bytes: a character of two bytes counts twice.
        dialog.NicknameEdit()->clear();
        Type(dialog.NicknameEdit(), QString(40, QChar(0x00E9)));
        QCOMPARE(dialog.NicknameEdit()->text(), QString(31, QChar(0x00E9)));
        QTest::keyClicks(dialog.NicknameEdit(), "a");
        QCOMPARE(dialog.NicknameEdit()->text().toUtf8().size(), 63);
    }

    void tabOrderFollowsTheTemplate() {
        CConfiguratorDlg& dialog = *dialog_;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        const QList<QWidget*> expected = {dialog.MacEdit(),          dialog.ConnectButton(),
                                          dialog.NicknameEdit(),     dialog.IpEdit(),
                                          dialog.ProgrammingCheck(), dialog.HelpButton(),
                                          dialog.ShowLogButton(),    dialog.ExitButton()};
        QCOMPARE(QApplication::focusWidget(), dialog.ExitButton());
        for (QWidget* next : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    void enterInAFieldClosesTheDialog() {
        for (int field = 0; field < 3; ++field) {
            CConfiguratorDlg dialog(*port_, diag::theLog);
            QLineEdit* edits[] = {dialog.IpEdit(), dialog.MacEdit(), dialog.NicknameEdit()};
            dialog.show();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            edits[field]->setFocus();
            QTest::keyClick(edits[field], Qt::Key_Return);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QVERIFY(!dialog.IsJobRunning());
        }
    }

    void helpAndF1ShowTheAboutBox() {
        CConfiguratorDlg& dialog = *dialog_;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTest::mouseClick(dialog.HelpButton(), Qt::LeftButton);
        QVERIFY(dialog.AboutBox() != nullptr && dialog.AboutBox()->isVisible());
        QCOMPARE(dialog.AboutBox()->windowTitle(),
                 QString("About Ethernet Motion Control Board Configurator"));
        const QStringList texts = LabelTexts(*dialog.AboutBox());
        QVERIFY(texts.contains("Ethernet Motion Control Board Configurator"));
        QVERIFY(texts.contains(QString("Version ") + EMCB_VERSION));
        dialog.AboutBox()->accept();
        QTRY_VERIFY(dialog.AboutBox() == nullptr);
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(&dialog, Qt::Key_F1);
        QVERIFY(dialog.AboutBox() != nullptr && dialog.AboutBox()->isVisible());
    }

    // Each address text in its field and the button clicked: a bad one is refused by
    // a box naming the field and the text, a good one starts the job (no board here:
    // it ends at its time limit). Texts longer than a field holds cannot be typed.
    void addressTextsAreRefusedOrTakenAsEveryFrontEndDoes() {
        CConfiguratorDlg& dialog = *dialog_;
        dialog.SetJobOptions(testsupport::NoBoardJobOptions());
        dialog.show();
        const auto judged = [&](QLineEdit* edit, const ::test::AddressText& entry,
                                const QString& field) {
            if (std::strlen(entry.text) > static_cast<std::size_t>(edit->maxLength())) return;
            edit->setText(entry.text);
            QTest::mouseClick(dialog.ConnectButton(), Qt::LeftButton);
            const QString expected = entry.valid
                                         ? QString("no board answered within the time limit")
                                         : field + " \"" + entry.text + "\"";
            QTRY_VERIFY2_WITH_TIMEOUT(test::FindMessageBox(expected) != nullptr,
                                      qPrintable(QString("\"") + entry.text + "\""), 20000);
            test::FindMessageBox(expected)->button(QMessageBox::Ok)->click();
            QTRY_VERIFY(!dialog.IsJobRunning());
        };
        for (const ::test::AddressText& ip : ::test::kIpTexts)
            judged(dialog.IpEdit(), ip, "IP address");
        dialog.IpEdit()->setText("10.9.9.21");
        for (const ::test::AddressText& mac : ::test::kMacTexts)
            judged(dialog.MacEdit(), mac, "MAC address");
    }

    // No board: closing asks first; No keeps the job, Yes ends it cleanly, says so,
    // and closes the dialog.
    void silentBoardJobCancelledByClosingTheWindow() {
        CConfiguratorDlg& dialog = *dialog_;
        app::JobOptions options;
        options.services.bootp = false;  // outside a namespace: loopback only
        options.services.tftpPort = 0;
        options.services.linkPort = testsupport::UnusedUdpPort();
        options.services.tftpTiming = {60000, 60000, 8};  // no question meanwhile
        dialog.SetJobOptions(options);
        dialog.show();
        QTest::mouseClick(dialog.ConnectButton(), Qt::LeftButton);
        QVERIFY(dialog.IsJobRunning());
        QVERIFY(dialog.ProgrammingCheck()->isChecked());
        for (QWidget* input :
             {static_cast<QWidget*>(dialog.IpEdit()), static_cast<QWidget*>(dialog.MacEdit()),
              static_cast<QWidget*>(dialog.NicknameEdit()),
              static_cast<QWidget*>(dialog.ConnectButton())})
            QVERIFY(!input->isEnabled());

        for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            QVERIFY(!dialog.close());
            QVERIFY(dialog.isVisible());
            QTRY_VERIFY(dialog.CancelQuestion() != nullptr && dialog.CancelQuestion()->isVisible());
            QVERIFY(dialog.CancelQuestion()->text().contains("Cancel the job"));
            dialog.CancelQuestion()->button(answer)->click();
            if (answer == QMessageBox::No) {
                QTest::qWait(300);
                QVERIFY(dialog.IsJobRunning());
                QVERIFY(dialog.isVisible());
            }
        }
        const QString cancelled = "The board was not programmed: the job was cancelled.";
        QTRY_VERIFY_WITH_TIMEOUT(test::FindMessageBox(cancelled) != nullptr, 10000);
        QVERIFY(dialog.isVisible());  // until the user has read why
        QVERIFY(!dialog.ProgrammingCheck()->isChecked());
        test::FindMessageBox(cancelled)->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(!dialog.IsJobRunning());
        QVERIFY(!dialog.isVisible());
        QVERIFY(dialog.LastReport().has_value());
        QCOMPARE(int(dialog.LastReport()->outcome), int(app::JobOutcome::kCancelled));
        QCOMPARE(int(dialog.Stages().back().kind), int(JobStageKind::kOutcome));
        QCOMPARE(dialog.StatusLine()->text(), cancelled);
        // The log view was fed all along, though closed.
        dialog.Log()->Drain();
        QVERIFY(dialog.Log()->Lines()->toPlainText().contains("ms: " + cancelled));
        // The device went with the job: its link port is free again.
        os::UdpSocket link;
        QVERIFY(link.Open() && link.Bind(0, options.services.linkPort));
    }

    // The whole job against the simulated board, from the button to "Programming
    // Complete", every stage reaching the status line on the way.
    void jobProgramsTheSimulatedBoard() {
        if (qEnvironmentVariable("EMCB_QT_NETNS") != "1")
            QSKIP("runs inside the computer's network namespace (netns.qt scenarios)");
        CConfiguratorDlg& dialog = *dialog_;
        app::JobOptions options;
        options.timeoutMs = 120000;
        dialog.SetJobOptions(options);
        dialog.IpEdit()->setText("10.9.9.30");
        dialog.NicknameEdit()->setText("Qt board");
        dialog.show();
        QStringList statusSeen;
        connect(&statusSeenTimer_, &QTimer::timeout, this, [&] {
            const QString text = dialog.StatusLine()->text();
            if (statusSeen.isEmpty() || statusSeen.back() != text) statusSeen << text;
        });
        statusSeenTimer_.start(5);
        QTest::mouseClick(dialog.ConnectButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(test::FindMessageBox("Programming Complete") != nullptr, 150000);
        statusSeenTimer_.stop();

        QVERIFY(Collapsed(dialog.Stages(),
                          {JobStageKind::kBootpAdapters, JobStageKind::kAddressGiven,
                           JobStageKind::kTransferStarted, JobStageKind::kTransferFinished,
                           JobStageKind::kBoardHeard, JobStageKind::kConfigurationSent,
                           JobStageKind::kConfigurationAcknowledged, JobStageKind::kDisconnectSent,
                           JobStageKind::kDisconnectAcknowledged, JobStageKind::kOutcome}));
        QCOMPARE(dialog.StatusLine()->text(), QString("Programming Complete"));
        QVERIFY(!dialog.ProgrammingCheck()->isChecked());
        // The GUI thread kept running: it saw the status line pass through the stages
        // (those half a second apart at least: the link's, and the outcome).
        QVERIFY2(statusSeen.size() >= 4, qPrintable(statusSeen.join(" | ")));
        QVERIFY(statusSeen.contains("The board acknowledged the disconnect"));

        test::FindMessageBox("Programming Complete")->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(!dialog.IsJobRunning());
        QCOMPARE(int(dialog.LastReport()->outcome), int(app::JobOutcome::kProgrammed));
        QVERIFY(dialog.ConnectButton()->isEnabled());
        QVERIFY(dialog.isVisible());

        const QString screenshot = qEnvironmentVariable("EMCB_QT_SCREENSHOT");
        if (!screenshot.isEmpty()) TakeScreenshot(dialog, screenshot);
    }

  private:
    // With the log view open, the dialog and its frame as the X server shows them.
    void TakeScreenshot(CConfiguratorDlg& dialog, const QString& path) {
        QTest::mouseClick(dialog.ShowLogButton(), Qt::LeftButton);
        QVERIFY(dialog.Log()->isVisible());
        QTRY_VERIFY(dialog.Log()->Lines()->blockCount() > 10);
        QTRY_VERIFY(dialog.Log()->Lines()->toPlainText().contains("Programming Complete"));
        QTest::qWait(300);  // let the X server draw the final frame
        const QRect frame = dialog.frameGeometry();
        const QImage shot = QGuiApplication::primaryScreen()
                                ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                                .toImage();
        QVERIFY(!shot.isNull());
        QVERIFY(shot.save(path, "PNG"));
    }

    std::unique_ptr<test::OwnSettingsFolder> settings_;
    std::unique_ptr<QtUiPort> port_;
    std::unique_ptr<CConfiguratorDlg> dialog_;
    QTimer statusSeenTimer_;
};

}  // namespace qtui

QTEST_MAIN(qtui::CConfiguratorDlgTest)
#include "CConfiguratorDlgTest.moc"
