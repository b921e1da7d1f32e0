#include "app/ProgrammingJob.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>

#include "net/CBootPPlatform.h"
#include "tests/diag/RecordingUiPort.h"
#include "tests/support/LoopbackBoard.h"
#include "tests/support/LoopbackTftpClient.h"
#include "tests/support/UnusedUdpPort.h"

namespace app {
namespace {

using diag::JobStageKind;
using net::Bytes;
using net::TestBoard;
using ::testing::HasSubstr;
using testsupport::UnusedUdpPort;

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
    std::uint16_t port_ = UnusedUdpPort();
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
    // The wait for the firmware server's port (1 s at most) comes before the time limit
    // starts, and on this clock it can run out before the server's thread has bound.
    const std::uint32_t portSettleMs = 1000;
    EXPECT_LT(now - start,
              *options.timeoutMs + portSettleMs + 2 * options.pollMs + options.settleMs);
    EXPECT_EQ(sleepsOnOtherThreads, 0);
}

// A computer with no network adapter: BOOTP has nothing to serve, so no socket opens.
class NoAdapters final : public net::CBootPPlatform {
  public:
    std::uint32_t TickCountMs() override { return os::TickCountMs(); }
    std::uint32_t NumberOfInterfaces(std::uint32_t& count) override {
        count = 0;
        return 0;
    }
    std::uint32_t ListAdapters(std::uint32_t, std::vector<os::AdapterInfo>&,
                               std::uint32_t&) override {
        return os::kErrorNoData;
    }
    int LastSystemError() override { return 0; }
    int HostName(char* buffer, int size) override {
        if (size > 0) buffer[0] = '\0';
        return 0;
    }
    std::uint32_t ReadArpTable(std::uint8_t*, std::uint32_t) override { return 0; }
    bool BindServerSocket(os::UdpSocket&, const os::AdapterInfo&, std::uint32_t,
                          std::uint16_t) override {
        return false;
    }
    int SendReply(os::UdpSocket&, const std::uint8_t*, int, const os::SocketAddress&) override {
        return -1;
    }
};

// One way for a job to end: what is arranged, and what the user must be told.
struct JobEndCase {
    const char* name;
    JobEnd end;
    const char* outcome;                  // as summaries name it
    std::vector<const char*> saying;      // the last message says all of these
    std::vector<const char*> warnedOf{};  // an earlier message says all of these
};

// What a case arranges: the job's options and fields, sockets held, and what the
// board, a TFTP client or the user does on another thread while the job runs.
struct JobRig {
    diag::RecordingUiPort& ui;
    std::uint16_t linkPort = UnusedUdpPort();
    std::uint16_t tftpPort = UnusedUdpPort();
    JobFields fields;
    JobOptions options = LoopbackOptions(linkPort);
    std::atomic<bool> cancel{false};
    std::atomic<bool> ended{false};
    std::vector<std::unique_ptr<os::UdpSocket>> held;
    NoAdapters noAdapters;
    std::function<void()> meanwhile;

    explicit JobRig(diag::RecordingUiPort& port) : ui(port) {
        options.services.tftpPort = tftpPort;
        options.cancel = &cancel;
    }
    void Hold(std::uint16_t port) {
        held.push_back(std::make_unique<os::UdpSocket>());
        ASSERT_TRUE(held.back()->Open());
        ASSERT_TRUE(held.back()->Bind(0, port));
    }
    // No question ends the wait, nor does the board: only the job's time limit.
    void WaitOnlyForTheTimeLimit() {
        options.services.tftpTiming = {10000, 10000, 8};
        options.timeoutMs = 400;
    }
    // Sends datagrams until the job's first message comes, then acknowledges up to
    // `count` messages as the board does.
    std::vector<Bytes> AnswerMessages(TestBoard& board, std::size_t count) {
        std::vector<Bytes> messages;
        for (int i = 0; i < 100 && messages.empty() && !ended; ++i) {
            board.SendTo(linkPort, 0);
            messages = board.ReceiveMessages(linkPort, count, 100);
        }
        if (messages.size() < count) {
            const auto rest = board.ReceiveMessages(linkPort, count - messages.size(), 2000);
            messages.insert(messages.end(), rest.begin(), rest.end());
        }
        return messages;
    }
    void WaitUntilEnded() {
        diag::RecordingUiPort::WaitFor([this] { return ended.load(); });
    }
};

using Arrange = std::function<void(JobRig&)>;

bool HasStage(JobRig& rig, JobStageKind kind) {
    const auto kinds = rig.ui.StageKinds();
    return std::count(kinds.begin(), kinds.end(), kind) > 0;
}

bool WaitForStage(JobRig& rig, JobStageKind kind) {
    return diag::RecordingUiPort::WaitFor([&rig, kind] { return HasStage(rig, kind); });
}

void ArrangeNothing(JobRig&) {}

// The board's status datagram, sent until the job has heard it (the link may still be
// starting), for up to 10 s. Probing the port by binding it could take it from the job.
void SendUntilHeard(JobRig& rig, TestBoard& board) {
    const auto heard = [&rig] { return HasStage(rig, JobStageKind::kBoardHeard); };
    for (int i = 0; i < 100 && !heard(); ++i) {
        board.SendTo(rig.linkPort, 0);
        diag::RecordingUiPort::WaitFor(heard, std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(heard()) << "the job never heard the board";
}

// Time for the board's read request to find the firmware server started: the
// question comes 2 s after the start, or after the transfer completed.
void AllowForTheServerToStart(JobRig& rig) {
    rig.options.services.tftpTiming.startWaitMs = 1000;
}

// The board's firmware transfer, acknowledged up to block `blocks`, then silence.
void TransferThenSilence(JobRig& rig, int blocks) {
    net::tftptest::TestClient client;
    auto data = client.Request(rig.tftpPort, "d:\\a.bin");
    for (int block = 1; block <= blocks; ++block) {
        if (block > 1) data = client.Receive();
        ASSERT_TRUE(data.has_value()) << "block " << block;
        client.SendAck(data->from, data->Block());
    }
}

const std::vector<std::pair<JobEndCase, Arrange>>& JobEndCases() {
    static const std::vector<std::pair<JobEndCase, Arrange>> cases = {
        {{"a field is refused", JobEnd::kInvalidField, "invalid-field", {"IP address"}},
         [](JobRig& rig) { rig.fields.ip = "10.9.9.300"; }},
        {{"the device cannot be made",
          JobEnd::kDeviceNotCreated,
          "device-not-created",
          {"Unable to create an instance of the EnetDevice Class"}},
         [](JobRig& rig) {
             rig.options.makeDevice = [](net::BoardContext*, const device::DeviceServices&)
                 -> std::unique_ptr<device::EnetDevice> { throw net::CQueue::kErrorNoMemory; };
         }},
        {{"the link's port is in use",
          JobEnd::kLinkPortInUse,
          "link-not-started",
          {"EnetDevice init failure.\n", "could not start", "emcb-config check"}},
         [](JobRig& rig) { rig.Hold(rig.linkPort); }},
        {{"cancelled while waiting for the board",
          JobEnd::kCancelled,
          "cancelled",
          {"not programmed", "the job was cancelled"}},
         [](JobRig& rig) {
             rig.options.services.tftpTiming = {10000, 10000, 8};
             rig.meanwhile = [&rig] {
                 os::SleepMs(200);
                 rig.cancel = true;
             };
         }},
        {{"cancelled while a question is left open",
          JobEnd::kCancelled,
          "cancelled",
          {"the job was cancelled"}},
         [](JobRig& rig) {
             rig.ui.LeaveQuestionsOpen();
             rig.meanwhile = [&rig] {
                 diag::RecordingUiPort::WaitFor([&rig] { return !rig.ui.Questions().empty(); });
                 rig.cancel = true;
             };
         }},
        {{"cancelled once the board was heard: nothing is sent",
          JobEnd::kCancelled,
          "cancelled",
          {"the job was cancelled"}},
         [](JobRig& rig) {
             rig.options.settleMs = 2000;
             rig.meanwhile = [&rig] {
                 TestBoard board;
                 SendUntilHeard(rig, board);
                 rig.cancel = true;
                 EXPECT_TRUE(board.ReceiveMessages(rig.linkPort, 1, 500).empty());
             };
         }},
        {{"cancelled once the board acknowledged its configuration",
          JobEnd::kCancelledAfterConfiguration,
          "programmed",
          {"The board is programmed", "cancelled"}},
         [](JobRig& rig) {
             rig.options.settleMs = 2000;
             rig.meanwhile = [&rig] {
                 TestBoard board;
                 EXPECT_EQ(rig.AnswerMessages(board, 1).size(), 1u);
                 // Cancelled once the job has taken the acknowledgement, not merely
                 // once it was sent: under load its receiving thread can lag.
                 EXPECT_TRUE(WaitForStage(rig, JobStageKind::kConfigurationAcknowledged));
                 rig.cancel = true;
                 EXPECT_TRUE(board.ReceiveMessages(rig.linkPort, 1, 500).empty())
                     << "the disconnect left after the cancel";
             };
         }},
        {{"Cancel in the progress window",
          JobEnd::kTransferCancelled,
          "cancelled",
          {"not programmed", "firmware transfer was cancelled"}},
         [](JobRig& rig) {
             AllowForTheServerToStart(rig);
             rig.meanwhile = [&rig] {
                 TransferThenSilence(rig, 3);
                 ASSERT_EQ(rig.ui.WindowCount(), 1u);
                 EXPECT_TRUE(rig.ui.Window(0).visible);
                 rig.ui.PressCancel(0);
             };
         }},
        {{"no board, the question answered Cancel",
          JobEnd::kNoBoardAnswered,
          "no-board",
          {"not programmed", "no board answered"}},
         ArrangeNothing},
        {{"the transfer stalls, the question answered Cancel",
          JobEnd::kTransferStalled,
          "no-board",
          {"not programmed", "stopped answering during its firmware transfer"}},
         [](JobRig& rig) {
             AllowForTheServerToStart(rig);
             rig.meanwhile = [&rig] { TransferThenSilence(rig, 3); };
         }},
        {{"firmware loaded, the board never talks, the question answered Cancel",
          JobEnd::kSilentAfterFirmware,
          "no-board",
          {"not programmed", "loaded its firmware", "board link (UDP port"}},
         [](JobRig& rig) {
             AllowForTheServerToStart(rig);
             rig.meanwhile = [&rig] {
                 net::tftptest::TestClient client;
                 EXPECT_TRUE(client.Fetch(rig.tftpPort, "d:\\a.bin").has_value());
             };
         }},
        {{"the time limit", JobEnd::kTimedOut, "no-board", {"not programmed", "time limit"}},
         [](JobRig& rig) { rig.WaitOnlyForTheTimeLimit(); }},
        {{"the firmware server's port is in use, then the time limit",
          JobEnd::kTimedOut,
          "no-board",
          {"time limit"},
          {"cannot use UDP port", "emcb-config check"}},
         [](JobRig& rig) {
             rig.Hold(rig.tftpPort);
             rig.WaitOnlyForTheTimeLimit();
         }},
        {{"no network adapter, then the time limit",
          JobEnd::kTimedOut,
          "no-board",
          {"time limit"},
          {"No network adapter has an IPv4 address", "emcb-config check"}},
         [](JobRig& rig) {
             rig.options.services.bootp = true;
             rig.options.services.bootpPlatform = &rig.noAdapters;
             rig.WaitOnlyForTheTimeLimit();
         }},
        {{"the board is heard but acknowledges nothing",
          JobEnd::kNotAcknowledged,
          "not-acknowledged",
          {"not programmed", "did not acknowledge the configuration"}},
         [](JobRig& rig) {
             rig.meanwhile = [&rig] {
                 TestBoard board;
                 SendUntilHeard(rig, board);
                 rig.WaitUntilEnded();
             };
         }},
        {{"the board acknowledges both messages",
          JobEnd::kProgrammed,
          "programmed",
          {"Programming Complete"}},
         [](JobRig& rig) {
             rig.meanwhile = [&rig] {
                 TestBoard board;
                 EXPECT_EQ(rig.AnswerMessages(board, 2).size(), 2u);
             };
         }},
    };
    return cases;
}

// Every way the job ends, each with its own message, shown last and only after the
// front-end was told the job had ended; the services gone with the device.
TEST_F(ProgrammingJobTest, EachWayOfEndingHasItsOwnMessage) {
    std::map<JobEnd, std::string> messageOf;
    for (const auto& [expected, arrange] : JobEndCases()) {
        SCOPED_TRACE(expected.name);
        diag::RecordingUiPort ui;
        JobRig rig(ui);
        arrange(rig);
        std::size_t messagesBeforeTheEnd = 0;
        rig.options.beforeOutcomeMessage = [&] { messagesBeforeTheEnd = ui.Messages().size(); };
        std::thread other;
        if (rig.meanwhile) other = std::thread(rig.meanwhile);
        const std::uint32_t start = os::TickCountMs();
        const JobReport report = RunProgrammingJob(rig.fields, rig.options);
        const std::uint32_t tookMs = os::TickCountMs() - start;
        rig.ended = true;
        if (other.joinable()) other.join();

        EXPECT_EQ(JobEndName(report.end), std::string(JobEndName(expected.end)));
        EXPECT_STREQ(OutcomeName(report.outcome), expected.outcome);
        for (const char* words : expected.saying)
            EXPECT_THAT(report.message, HasSubstr(words));
        const std::vector<std::string> messages = ui.Messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back(), report.message);
        EXPECT_EQ(messagesBeforeTheEnd + 1, messages.size()) << "told before the end was known";
        for (const char* words : expected.warnedOf) {
            EXPECT_TRUE(std::any_of(
                messages.begin(), messages.end() - 1,
                [&](const std::string& m) { return m.find(words) != std::string::npos; }))
                << "no warning saying " << words;
        }
        if (expected.warnedOf.empty()) {
            EXPECT_EQ(messages.size(), 1u);
        }
        EXPECT_LT(tookMs, 10000u);
        rig.held.clear();
        os::UdpSocket link;
        EXPECT_TRUE(link.Open() && link.Bind(0, rig.linkPort)) << "the job still holds its link";
        messageOf[report.end] = report.message;
    }
    // Different ends, different messages.
    std::set<std::string> distinct;
    for (const auto& [end, message] : messageOf)
        distinct.insert(message);
    EXPECT_EQ(distinct.size(), messageOf.size());
}

}  // namespace
}  // namespace app
