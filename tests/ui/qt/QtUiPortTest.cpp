// Messages and questions from a worker: shown on the GUI thread, the worker held
// until they are answered, and let go at once when the program ends.
#include "ui/qt/QtUiPort.h"

#include <QPushButton>
#include <QTest>
#include <atomic>
#include <future>
#include <thread>

#include "tests/ui/qt/QtTestSupport.h"

namespace qtui {

class QtUiPortTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        settings_ = std::make_unique<test::OwnSettingsFolder>();
        port_ = std::make_unique<QtUiPort>("emcb-port-test");
        owner_ = std::make_unique<QWidget>();
        owner_->show();
        port_->SetOwner(owner_.get());
    }
    void cleanup() {
        port_.reset();
        owner_.reset();
        settings_.reset();
    }

    void questionHoldsTheWorkerUntilAnswered() {
        for (const bool retry : {true, false}) {
            std::atomic<bool> answered{false};
            auto answer = std::async(std::launch::async, [&] {
                const bool result = port_->AskRetryCancel(" is not responding.\n\nRetry?");
                answered = true;
                return result;
            });
            QTRY_VERIFY(test::FindMessageBox("is not responding.") != nullptr);
            QMessageBox* box = test::FindMessageBox("is not responding.");
            QCOMPARE(box->windowTitle(), QString(QtUiPort::kCaption));
            QCOMPARE(box->parentWidget(), owner_.get());
            QTest::qWait(50);  // the GUI thread runs on; the worker must not
            QVERIFY(!answered.load());
            box->button(retry ? QMessageBox::Retry : QMessageBox::Cancel)->click();
            QTRY_VERIFY(answered.load());
            QCOMPARE(answer.get(), retry);
        }
    }

    void messageHoldsTheWorkerUntilOk() {
        std::atomic<bool> seen{false};
        std::thread worker([&] {
            port_->ShowMessage("Programming Complete");
            seen = true;
        });
        QTRY_VERIFY(test::FindMessageBox("Programming Complete") != nullptr);
        QTest::qWait(50);
        QVERIFY(!seen.load());
        test::FindMessageBox("Programming Complete")->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(seen.load());
        worker.join();
    }

    // Closing a box by its owner's going, or by Escape, is an answer too: Cancel.
    void closedBoxAnswersCancel() {
        auto answer =
            std::async(std::launch::async, [&] { return port_->AskRetryCancel("Gone?"); });
        QTRY_VERIFY(test::FindMessageBox("Gone?") != nullptr);
        QTest::keyClick(test::FindMessageBox("Gone?"), Qt::Key_Escape);
        QTRY_COMPARE(answer.wait_for(std::chrono::seconds(0)), std::future_status::ready);
        QVERIFY(!answer.get());

        auto second =
            std::async(std::launch::async, [&] { return port_->AskRetryCancel("Owner?"); });
        QTRY_VERIFY(test::FindMessageBox("Owner?") != nullptr);
        owner_.reset();
        QTRY_COMPARE(second.wait_for(std::chrono::seconds(0)), std::future_status::ready);
        QVERIFY(!second.get());
    }

    void shutdownLetsWaitingWorkersGo() {
        auto answer =
            std::async(std::launch::async, [&] { return port_->AskRetryCancel("Late?"); });
        QTRY_VERIFY(test::FindMessageBox("Late?") != nullptr);
        port_->Shutdown();
        QVERIFY(!answer.get());
        QVERIFY(test::FindMessageBox("Late?") == nullptr);
        // Afterwards nothing waits and no window is made.
        QVERIFY(
            !std::async(std::launch::async, [&] { return port_->AskRetryCancel("After?"); }).get());
        QVERIFY(port_->CreateProgressWindow("Tftp Uploading", true) == nullptr);
    }

    // A job ending its services must not wait for a box the user left open.
    void cancellingClosesTheOpenBoxesUntilItEnds() {
        auto open = std::async(std::launch::async,
                               [&] { return port_->AskRetryCancel(" is not responding."); });
        QTRY_VERIFY(test::FindMessageBox("is not responding.") != nullptr);
        port_->SetCancelling(true);
        QTRY_COMPARE(open.wait_for(std::chrono::seconds(0)), std::future_status::ready);
        QVERIFY(!open.get());
        QVERIFY(!std::async(std::launch::async, [&] {
                     return port_->AskRetryCancel("During?");
                 }).get());
        port_->SetCancelling(false);
        std::atomic<bool> seen{false};
        std::thread worker([&] {
            port_->ShowMessage("The board was not programmed");
            seen = true;
        });
        QTRY_VERIFY(test::FindMessageBox("The board was not programmed") != nullptr);
        test::FindMessageBox("The board was not programmed")->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(seen.load());
        worker.join();
    }

  private:
    std::unique_ptr<test::OwnSettingsFolder> settings_;
    std::unique_ptr<QtUiPort> port_;
    std::unique_ptr<QWidget> owner_;
};

}  // namespace qtui

QTEST_MAIN(qtui::QtUiPortTest)
#include "QtUiPortTest.moc"
