// The progress window as the TFTP worker uses it: driven from a thread of its own,
// seen on the GUI thread.
#include "ui/qt/CProgressPopup.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <functional>
#include <thread>

#include "diag/ProgressRules.h"
#include "tests/ui/qt/QtTestSupport.h"
#include "ui/qt/QtProgressWindow.h"
#include "ui/qt/QtUiPort.h"

namespace qtui {
namespace {

constexpr const char* kTitle = "Tftp Uploading";
constexpr int kImageSize = 21532;
constexpr int kContentSize = 21504;
constexpr int kBlock = 512;

// A worker that a failing check leaves at once: it is told to leave and joined.
class WorkerThread {
  public:
    explicit WorkerThread(std::function<void()> body) : thread_(std::move(body)) {}
    ~WorkerThread() {
        leaving_ = true;
        Join();
    }
    bool Leaving() const { return leaving_.load(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

  private:
    std::atomic<bool> leaving_{false};
    std::thread thread_;
};

// The popup of the only progress window on screen.
CProgressPopup* OnlyPopup() {
    CProgressPopup* found = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* popup = dynamic_cast<CProgressPopup*>(widget)) {
            if (found != nullptr) return nullptr;
            found = popup;
        }
    }
    return found;
}

}  // namespace

class CProgressPopupTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        settings_ = std::make_unique<test::OwnSettingsFolder>();
        QVERIFY(settings_->IsValid());
        port_ = std::make_unique<QtUiPort>("emcb-progress-test");
    }
    void cleanup() {
        port_.reset();
        settings_.reset();
    }

    // A transfer from a worker: the caption runs through the rounded percentages, the
    // window shows without taking the focus, and its last place is kept.
    void captionsOverATransferFromAWorker() {
        std::atomic<bool> go{false};
        std::atomic<bool> done{false};
        std::string lastCaption;
        QStringList captions;
        WorkerThread worker([&] {
            auto window = port_->CreateProgressWindow(kTitle, true);
            while (!go.load() && !worker.Leaving())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            window->MoveTo(100, 100);
            window->SetRange(0, kImageSize, 1);
            window->Show();
            for (int offset = 0; offset <= kContentSize; offset += kBlock)
                window->SetPos(offset);
            lastCaption = window->Caption();
            done = true;
            while (done.load() && !worker.Leaving())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        });
        QTRY_VERIFY(OnlyPopup() != nullptr);
        CProgressPopup* popup = OnlyPopup();
        connect(popup, &QWidget::windowTitleChanged, this,
                [&captions](const QString& caption) { captions << caption; });
        QVERIFY(!popup->isVisible());  // hidden until the transfer shows it
        go = true;
        QTRY_VERIFY(done.load());
        QCoreApplication::processEvents();

        QVERIFY(popup->isVisible());
        // (The offscreen platform activates every window it shows, so only the request
        // can be checked here.)
        QVERIFY(popup->testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(popup->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(popup->IsSmooth());
        QCOMPARE(popup->CancelButton()->text(), QString(" Cancel "));
        QCOMPARE(popup->TextLine()->text(), QString());
        QCOMPARE(popup->Bar()->value(), kContentSize);
        QCOMPARE(popup->pos(), QPoint(100, 100));

        // Every change in order, the bare title first (position 0 gives 0 %).
        QStringList expected;
        int last = 0;
        for (int offset = 0; offset <= kContentSize; offset += kBlock) {
            const int percent = diag::ProgressPercent(offset, 0, kImageSize);
            if (percent != last) expected << QString("%1 [%2%]").arg(kTitle).arg(percent);
            last = percent;
        }
        QCOMPARE(expected.mid(0, 4), QStringList({"Tftp Uploading [2%]", "Tftp Uploading [5%]",
                                                  "Tftp Uploading [7%]", "Tftp Uploading [10%]"}));
        QCOMPARE(captions, expected);
        QCOMPARE(popup->windowTitle(), QString("Tftp Uploading [100%]"));
        QCOMPARE(lastCaption, std::string("Tftp Uploading [100%]"));

        done = false;
        worker.Join();  // the window goes, and saves its place
        QTRY_VERIFY(OnlyPopup() == nullptr);
        QCOMPARE(port_->Settings().GetInt("Settings", "X", -1), 100);
        QCOMPARE(port_->Settings().GetInt("Settings", "Y", -1), 100);
    }

    // Escape, the button, and the window manager's close each cancel, saving the place.
    void escapeCancelAndCloseHideTheWindowAndTellTheWorker() {
        enum { kEscape, kButton, kClose };
        for (const int way : {kEscape, kButton, kClose}) {
            auto window = port_->CreateProgressWindow(kTitle, true);
            window->MoveTo(150 + way, 120);
            window->SetRange(0, 100, 1);
            window->SetPos(40);
            QCoreApplication::processEvents();
            auto* popup = static_cast<QtProgressWindow*>(window.get())->Popup();
            QVERIFY(popup->isVisible());
            QVERIFY(!window->IsCancelled());
            if (way == kEscape) QTest::keyClick(popup, Qt::Key_Escape);
            if (way == kButton) QTest::mouseClick(popup->CancelButton(), Qt::LeftButton);
            if (way == kClose) QVERIFY(popup->close());
            QVERIFY2(window->IsCancelled(), qPrintable(QString("way %1").arg(way)));
            QVERIFY(!popup->isVisible());
            QCOMPARE(port_->Settings().GetInt("Settings", "X", -1), 150 + way);
            window->PumpMessages(true);  // nothing to pump: the flag is all
            QVERIFY(window->IsCancelled());
        }
    }

    void placeComesFromTheSettingsOrTheOwnersCentre() {
        QWidget owner;
        owner.setGeometry(200, 150, 400, 300);
        owner.show();
        port_->SetOwner(&owner);
        const auto placeOfNewWindow = [this] {
            auto window = port_->CreateProgressWindow("FPGA Uploading", true);
            return static_cast<QtProgressWindow*>(window.get())->Popup()->frameGeometry();
        };

        diag::SavePosition(port_->Settings(), {300, 200});
        QCOMPARE(placeOfNewWindow().topLeft(), QPoint(300, 200));

        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        diag::SavePosition(port_->Settings(), {screen.right() + 500, 10});  // on no screen
        const QPoint centre = placeOfNewWindow().center();
        QVERIFY2((centre - owner.frameGeometry().center()).manhattanLength() <= 2,
                 qPrintable(QString("centre %1,%2").arg(centre.x()).arg(centre.y())));

        port_->SetOwner(nullptr);  // no owner: the screen's centre
        diag::SavePosition(port_->Settings(), {-1, -1});
        const QPoint alone = placeOfNewWindow().center();
        QVERIFY((alone - QGuiApplication::primaryScreen()->availableGeometry().center())
                    .manhattanLength() <= 2);
    }

  private:
    std::unique_ptr<test::OwnSettingsFolder> settings_;
    std::unique_ptr<QtUiPort> port_;
};

}  // namespace qtui

QTEST_MAIN(qtui::CProgressPopupTest)
#include "CProgressPopupTest.moc"
