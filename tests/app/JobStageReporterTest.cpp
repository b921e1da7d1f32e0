#include "app/JobStageReporter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "diag/UiPort.h"
#include "os/inet_addr.h"
#include "tests/support/LogCapture.h"

namespace app {
namespace {

using diag::JobStage;
using diag::JobStageKind;

// Counts what reaches the front-end.
class CountingPort final : public diag::UiPort, private diag::SettingsPort {
  public:
    CountingPort() { diag::SetUiPort(this); }
    ~CountingPort() override { diag::SetUiPort(nullptr); }
    void ShowMessage(const std::string&) override {}
    bool AskRetryCancel(const std::string&) override { return false; }
    std::unique_ptr<diag::ProgressWindow> CreateProgressWindow(const std::string&, bool) override {
        return nullptr;
    }
    diag::SettingsPort& Settings() override { return *this; }
    int GetInt(const std::string&, const std::string&, int defaultValue) const override {
        return defaultValue;
    }
    bool SetInt(const std::string&, const std::string&, int) override { return false; }
    void OnJobStage(const JobStage&) override { ++shown; }
    int shown = 0;
};

void Give(JobStageReporter& stages, const std::string& address, std::uint8_t last) {
    const std::uint8_t hardware[6] = {0x06, 0, 0, 0, 0, last};
    net::AddressGiven given;
    given.adapterName = "eth0";
    given.adapterAddress = "10.9.9.1";
    given.hardwareAddress = hardware;
    given.hardwareAddressLength = sizeof hardware;
    given.address = address;
    stages.OnAddressGiven(given);
}

// Strangers answered by BOOTP and asking for the firmware, hundreds of times, before
// the board: the list stays bounded, keeps the first of each kind and the outcome, and
// says how many it left out; the board's grant is still found.
TEST(JobStageReporter, StrangersCannotGrowTheListWithoutBound) {
    net::LogCapture log;
    CountingPort port;
    JobStageReporter stages;
    stages.HoldUntilAdapters();
    for (int k = 0; k < 150; ++k)  // while BOOTP starts: held back
        stages.OnTransferStarted({os::InetAddr("10.9.8.2"), static_cast<std::uint16_t>(k)}, "x", 1);
    stages.Adapters({{"eth0", "10.9.9.1"}});
    for (int k = 0; k < 300; ++k) {
        Give(stages, "10.9.8." + std::to_string(k % 250), static_cast<std::uint8_t>(k));
        stages.OnTransferFinished({os::InetAddr("10.9.8.2"), 69}, 1);
    }
    Give(stages, "10.9.9.100", 0xB0);
    stages.BoardHeard({os::InetAddr("10.9.9.100"), 4000});
    for (JobStageKind kind :
         {JobStageKind::kConfigurationSent, JobStageKind::kConfigurationAcknowledged,
          JobStageKind::kDisconnectSent, JobStageKind::kDisconnectAcknowledged})
        stages.Link(kind);
    stages.Outcome("programmed", "Programming Complete");

    const std::vector<JobStage> list = stages.Stages();
    // Beyond the cap: the first of each later kind (seven here), the note, the outcome.
    EXPECT_EQ(list.size(), JobStageReporter::kMaxStages + 9);
    EXPECT_EQ(port.shown, static_cast<int>(list.size()));
    ASSERT_GE(list.size(), 2u);
    EXPECT_EQ(list.front().kind, JobStageKind::kBootpAdapters);
    EXPECT_EQ(list.back().kind, JobStageKind::kOutcome);
    const JobStage& note = list[list.size() - 2];
    ASSERT_EQ(note.kind, JobStageKind::kStagesLeftOut);
    const std::size_t raised = 1 + 150 + 600 + 1 + 1 + 4 + 1;
    EXPECT_EQ(note.leftOut, raised - (list.size() - 1));
    for (JobStageKind kind :
         {JobStageKind::kAddressGiven, JobStageKind::kTransferStarted,
          JobStageKind::kTransferFinished, JobStageKind::kBoardHeard,
          JobStageKind::kConfigurationSent, JobStageKind::kDisconnectAcknowledged})
        EXPECT_TRUE(std::any_of(list.begin(), list.end(), [kind](const JobStage& stage) {
            return stage.kind == kind;
        })) << diag::JobStageName(kind);

    const std::vector<JobStage> grants = stages.Grants();
    EXPECT_EQ(grants.size(), 251u);  // 250 stranger addresses, each once, then the board's
    EXPECT_EQ(grants.back().address, "10.9.9.100");
    EXPECT_EQ(grants.back().hardwareAddress, "06-00-00-00-00-B0");
    EXPECT_TRUE(log.Contains("stages listed: the rest are counted, not listed"));
}

}  // namespace
}  // namespace app
