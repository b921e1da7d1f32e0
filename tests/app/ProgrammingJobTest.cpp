#include "app/ProgrammingJob.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "tests/diag/RecordingUiPort.h"
#include "tests/support/LoopbackBoard.h"

namespace app {
namespace {

using net::Bytes;
using net::TestBoard;
using ::testing::HasSubstr;

std::uint16_t FreePort() {
    os::UdpSocket probe;
    EXPECT_TRUE(probe.Open());
    EXPECT_TRUE(probe.Bind(0, 0));
    return probe.LocalPort();
}

// Loopback services with short TFTP time-outs; BOOTP stays off outside a namespace.
JobOptions LoopbackOptions(std::uint16_t linkPort) {
    JobOptions options;
    options.services.bootp = false;
    options.services.tftpPort = 0;
    options.services.linkPort = linkPort;
    options.services.tftpTiming = {100, 50, 2};
    options.pollMs = 20;
    options.settleMs = 50;
    options.acknowledgementWaitMs = 1000;
    return options;
}

// The job's clock running ten times as fast as real time, from just before the tick
// count wraps: the job's polls, settles and acknowledgement wait take a tenth of their
// time, while each of its sleeps still gives the board and the device's threads, which
// run in real time, their share of it. The job calls it on its own thread only.
class FastJobClock {
  public:
    static constexpr std::uint32_t kSpeedUp = 10;

    void Drive(JobOptions& options) {
        options.tickCountMs = [this] { return now_; };
        options.sleepMs = [this](std::uint32_t ms) {
            now_ += ms;
            os::SleepMs((ms + kSpeedUp - 1) / kSpeedUp);
        };
    }

  private:
    std::uint32_t now_ = 0xFFFFFF00u;
};

class ProgrammingJobTest : public ::testing::Test {
  protected:
    diag::RecordingUiPort ui_;
    std::uint16_t port_ = FreePort();
};

TEST_F(ProgrammingJobTest, BoardThatAcknowledgesIsProgrammed) {
    TestBoard board;
    std::vector<Bytes> messages;
    std::thread boardThread([&] {
        for (int i = 0; i < 50 && messages.empty(); ++i) {
            board.SendTo(port_, 0);
            messages = board.ReceiveMessages(port_, 2, 100);
        }
        const auto rest = board.ReceiveMessages(port_, 2 - messages.size(), 2000);
        messages.insert(messages.end(), rest.begin(), rest.end());
    });
    JobFields fields;
    fields.ip = "192.168.1.20";
    fields.nickname = std::string(70, 'n');
    JobOptions options = LoopbackOptions(port_);
    FastJobClock clock;
    clock.Drive(options);
    // A second of real time for the board's acknowledgements, as on the real clock;
    // the wait ends as soon as both are in.
    options.acknowledgementWaitMs = 1000 * FastJobClock::kSpeedUp;
    const JobReport report = RunProgrammingJob(fields, options);
    boardThread.join();

    EXPECT_EQ(report.outcome, JobOutcome::kProgrammed);
    EXPECT_EQ(report.messagesAcknowledged, 2u);
    ASSERT_EQ(messages.size(), 2u);
    ConfigBlock block{};
    BuildConfigBlock("192.168.1.20", kDefaultMacText, std::string(63, 'n').c_str(), block.data());
    EXPECT_EQ(messages[0], net::Message({0x04, 0x01, 0x8E, 0x8E}, block.data(), 256));
    EXPECT_EQ(messages[1], (Bytes{0x04, 0x00, 0x7C, 0x7C}));
    EXPECT_EQ(ui_.Messages().back(), "Programming Complete");
}

TEST_F(ProgrammingJobTest, UnusableFieldsAreRefusedBeforeAnythingStarts) {
    TestBoard board;
    board.SendTo(port_, 0);  // nobody listens: nothing may start
    JobFields fields;
    fields.ip = "10.9.9.300";
    JobReport report = RunProgrammingJob(fields, LoopbackOptions(port_));
    EXPECT_EQ(report.outcome, JobOutcome::kInvalidField);
    EXPECT_THAT(report.message, HasSubstr("IP address"));

    fields.ip = "10.9.9.9";
    fields.mac = "12-34-5";
    report = RunProgrammingJob(fields, LoopbackOptions(port_));
    EXPECT_EQ(report.outcome, JobOutcome::kInvalidField);
    EXPECT_THAT(report.message, HasSubstr("MAC address"));

    // Checked as typed: cut to the dialog's 15 and 17 characters these would pass.
    fields.ip = "192.168.100.100x";
    fields.mac = "";
    EXPECT_EQ(RunProgrammingJob(fields, LoopbackOptions(port_)).outcome, JobOutcome::kInvalidField);
    fields.ip = "10.9.9.9";
    fields.mac = "00-1B-2C-3D-4E-5F0";
    EXPECT_EQ(RunProgrammingJob(fields, LoopbackOptions(port_)).outcome, JobOutcome::kInvalidField);
    EXPECT_FALSE(board.Receive(200));
}

TEST_F(ProgrammingJobTest, SilentBoardAnsweredCancelIsNotProgrammed) {
    ui_.ScriptAnswers({}, false);
    const JobReport report = RunProgrammingJob({}, LoopbackOptions(port_));
    EXPECT_EQ(report.outcome, JobOutcome::kNoBoard);
    EXPECT_THAT(report.message, HasSubstr("not programmed"));
    ASSERT_FALSE(ui_.Questions().empty());
    EXPECT_THAT(ui_.Questions()[0], HasSubstr("is not responding."));
}

TEST_F(ProgrammingJobTest, LinkPortInUseFailsAtOnce) {
    os::UdpSocket holder;
    ASSERT_TRUE(holder.Open());
    ASSERT_TRUE(holder.Bind(0, port_));
    const std::uint32_t start = os::TickCountMs();
    const JobReport report = RunProgrammingJob({}, LoopbackOptions(port_));
    EXPECT_EQ(report.outcome, JobOutcome::kLinkNotStarted);
    EXPECT_THAT(report.message, HasSubstr("EnetDevice init failure.\n"));
    EXPECT_THAT(report.message, HasSubstr(std::to_string(port_)));
    EXPECT_LT(os::TickCountMs() - start, 3000u);
}

TEST_F(ProgrammingJobTest, StrangerWithALargeAcknowledgementCannotFakeSuccess) {
    TestBoard board;     // heard first, then silent
    TestBoard stranger;  // same address, so it is heard: it acknowledges far ahead
    std::atomic<bool> done{false};
    std::thread traffic([&] {
        board.SendTo(port_, 0);
        while (!done) {
            stranger.SendTo(port_, 0x7FFFFFFF);
            os::SleepMs(10);
        }
    });
    JobOptions options = LoopbackOptions(port_);
    FastJobClock clock;  // the stranger still acknowledges every 10 ms of the wait
    clock.Drive(options);
    const JobReport report = RunProgrammingJob({}, options);
    done = true;
    traffic.join();
    EXPECT_EQ(report.outcome, JobOutcome::kNotAcknowledged);
    EXPECT_EQ(report.messagesAcknowledged, 0u);
    EXPECT_THAT(report.message, HasSubstr("not programmed"));
}

TEST_F(ProgrammingJobTest, TimeLimitEndsTheWaitForABoard) {
    JobOptions options = LoopbackOptions(port_);
    options.services.tftpTiming = {10000, 10000, 8};
    options.timeoutMs = 300;
    const JobReport report = RunProgrammingJob({}, options);
    EXPECT_EQ(report.outcome, JobOutcome::kNoBoard);
    EXPECT_THAT(report.message, HasSubstr("time limit"));
}

// A front-end that pumps its window's messages while the job waits needs every wait on
// its own thread and through its hook; fake time, started just before the tick count
// wraps, shows that the limits are measured on the given clock, wrap included.
TEST_F(ProgrammingJobTest, EveryWaitAndTimeLimitGoesThroughTheGivenClock) {
    JobOptions options = LoopbackOptions(port_);
    options.services.tftpTiming = {10000, 10000, 8};
    options.timeoutMs = 3'600'000;  // an hour: on the real clock the test would time out
    std::uint32_t now = 0xFFFFF000u;
    int sleepsOnOtherThreads = 0;
    const std::thread::id caller = std::this_thread::get_id();
    options.tickCountMs = [&] { return now; };
    options.sleepMs = [&](std::uint32_t ms) {
        if (std::this_thread::get_id() != caller) ++sleepsOnOtherThreads;
        now += ms;
        std::this_thread::yield();
    };
    const std::uint32_t start = now;
    const JobReport report = RunProgrammingJob({}, options);
    EXPECT_EQ(report.outcome, JobOutcome::kNoBoard);
    EXPECT_THAT(report.message, HasSubstr("time limit"));
    EXPECT_GE(now - start, *options.timeoutMs);
    EXPECT_LT(now - start, *options.timeoutMs + 2 * options.pollMs + options.settleMs);
    EXPECT_EQ(sleepsOnOtherThreads, 0);
}

}  // namespace
}  // namespace app
