// Threads whose wait cannot be set up (no descriptor left for its wake-up object):
// they end, and their owner's stop returns, instead of spinning or asking the user.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>

#include "app/firmware_image.h"
#include "net/CTftp.h"
#include "net/CUdpServer.h"
#include "os/waiter.h"
#include "tests/diag/RecordingUiPort.h"
#include "tests/support/DescriptorShortage.h"
#include "tests/support/LogCapture.h"

namespace net {
namespace {

using namespace std::chrono_literals;

// Fails the test and ends the process when `stop` does not return in time: a stop
// that hangs would otherwise hang the test run.
void ExpectReturnsSoon(const std::function<bool()>& stop) {
    auto done = std::async(std::launch::async, stop);
    if (done.wait_for(10s) != std::future_status::ready) {
        ADD_FAILURE() << "the stop did not return";
        std::_Exit(1);
    }
    EXPECT_TRUE(done.get());
}

TEST(WaitSetupFailure, AStopRequestEndsAWaitThatHasNoWakeUpObject) {
    std::unique_ptr<os::Waiter> waiter;
    {
        const testsupport::DescriptorShortage shortage;
        waiter = std::make_unique<os::Waiter>();
    }
    ASSERT_FALSE(waiter->IsValid());
    EXPECT_EQ(waiter->Wait(0).outcome, os::WaitOutcome::kError);
    waiter->RequestStop();
    EXPECT_EQ(waiter->Wait(os::Waiter::kForever).outcome, os::WaitOutcome::kStopped);
}

TEST(WaitSetupFailure, LinkThatCannotWaitDoesNotStartAndStops) {
    LogCapture log;
    { CUdpServer warmUp; }  // a sanitizer checks types with descriptors of its own
    std::unique_ptr<CUdpServer> server;
    {
        const testsupport::DescriptorShortage shortage;
        server = std::make_unique<CUdpServer>();
    }
    server->SetPort(0);
    EXPECT_FALSE(server->Start());
    EXPECT_FALSE(server->IsReceiving());
    EXPECT_TRUE(log.Contains("CUdpServer::Start - cannot wait for datagrams"));
    ExpectReturnsSoon([&] { return server->Stop(); });
}

TEST(WaitSetupFailure, TftpWorkerThatCannotWaitEndsAtOnceWithoutAsking) {
    LogCapture log;
    diag::RecordingUiPort ui;
    BoardContext context;
    context.image = app::FirmwareImage();
    context.imageSize = app::kFirmwareImageSize;
    { CTftp warmUp(context); }  // a sanitizer checks types with descriptors of its own
    std::unique_ptr<CTftp> server;
    {
        const testsupport::DescriptorShortage shortage;
        server = std::make_unique<CTftp>(context, CTftpTiming{50, 50, 8});
    }
    server->SetPort(0);
    server->Start();
    EXPECT_TRUE(diag::RecordingUiPort::WaitFor([&] { return server->HasEnded() == 1; }, 5s));
    ExpectReturnsSoon([&] { return server->Stop(); });
    EXPECT_TRUE(ui.Questions().empty());
    EXPECT_TRUE(log.Contains("CTftp::ServerThread - cannot wait for datagrams"));
}

}  // namespace
}  // namespace net
