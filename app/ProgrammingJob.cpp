#include "app/ProgrammingJob.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <new>

#include "app/JobStageReporter.h"
#include "app/firmware_image.h"
#include "diag/CLog.h"
#include "diag/UiPort.h"
#include "net/hardware_address.h"
#include "os/inet_addr.h"

namespace app {
namespace {

using device::EnetDevice;
using diag::JobStageKind;

constexpr std::uint32_t kMessagesPerJob = 2;  // configuration, then disconnect

const char* const kNotProgrammed = "The board was not programmed: ";
constexpr std::uint32_t kBootpSettleMs = 1000;
constexpr std::uint32_t kSleepStepMs = 20;
constexpr std::uint32_t kAcknowledgementPollMs = 10;

// The hardware address BOOTP gave the board's address to, if it did.
std::optional<net::EthernetAddress> HardwareOf(const std::vector<diag::JobStage>& stages,
                                               std::uint32_t boardIp) {
    for (const diag::JobStage& stage : stages) {
        if (stage.kind != JobStageKind::kAddressGiven) continue;
        if (os::InetAddr(stage.address.c_str()) != boardIp) continue;
        if (const auto address = net::ParseEthernetAddress(stage.hardwareAddress)) return address;
    }
    return std::nullopt;
}

// Which board BOOTP answered, and how long it took from there to the outcome.
void NoteAnsweredBoard(JobReport& report) {
    const diag::JobStage* given = nullptr;
    for (const diag::JobStage& stage : report.stages) {
        if (stage.kind != JobStageKind::kAddressGiven) continue;
        if (given == nullptr) given = &stage;
        if (os::InetAddr(stage.address.c_str()) == report.boardIp) {
            given = &stage;
            break;
        }
    }
    if (given == nullptr || report.stages.empty()) return;
    report.hardwareAddress = given->hardwareAddress;
    report.bootpAddress = given->address;
    report.msFromAddressToResult = report.stages.back().elapsedMs - given->elapsedMs;
}

// Tells the user, last of all, and fills the report.
JobReport Finish(JobReport report, JobStageReporter& stages, JobOutcome outcome,
                 const std::string& message) {
    report.outcome = outcome;
    report.message = message;
    stages.Outcome(OutcomeName(outcome), message);
    report.stages = stages.Stages();
    NoteAnsweredBoard(report);
    diag::Ui().ShowMessage(message);
    return report;
}

bool Cancelled(const JobOptions& options) {
    return options.cancel != nullptr && options.cancel->load();
}

// Sleeps in short steps so that a cancel request is seen at once; `each` runs
// after every step.
bool SleepUnlessCancelled(std::uint32_t ms, const JobOptions& options,
                          const std::function<void()>& each = {}) {
    const std::uint32_t start = options.tickCountMs();
    for (std::uint32_t elapsed = 0; elapsed < ms; elapsed = options.tickCountMs() - start) {
        if (Cancelled(options)) return false;
        options.sleepMs(std::min<std::uint32_t>(kSleepStepMs, ms - elapsed));
        if (each) each();
    }
    return !Cancelled(options);
}

enum class WaitEnd { kBoardHeard, kServicesEnded, kTimedOut, kCancelled };

WaitEnd WaitForBoard(EnetDevice& device, const JobOptions& options) {
    const std::uint32_t start = options.tickCountMs();
    device::DeviceStatus status;
    for (;;) {
        if (!SleepUnlessCancelled(options.pollMs, options)) return WaitEnd::kCancelled;
        device.PollStatus(status);
        if (status.linkActive) return WaitEnd::kBoardHeard;
        if (status.finished) return WaitEnd::kServicesEnded;
        if (options.timeoutMs && options.tickCountMs() - start >= *options.timeoutMs)
            return WaitEnd::kTimedOut;
    }
}

// The board acknowledges the highest sequence number it received.
std::uint32_t Acknowledged(const EnetDevice& device, std::uint32_t firstSeq) {
    const std::uint32_t acked = device.LastAckSeq() - (firstSeq - 1);
    return std::min(acked, device.LastSentSeq() - (firstSeq - 1));
}

// Follows the sequence numbers of the job's two messages and reports each as it
// leaves and as the board acknowledges it, in that order.
class LinkStages {
  public:
    LinkStages(const EnetDevice& device, std::uint32_t firstSeq, JobStageReporter& stages)
        : device_(device), firstSeq_(firstSeq), stages_(stages) {}

    void Check() {
        static constexpr JobStageKind kOrder[] = {
            JobStageKind::kConfigurationSent, JobStageKind::kConfigurationAcknowledged,
            JobStageKind::kDisconnectSent, JobStageKind::kDisconnectAcknowledged};
        const std::uint32_t sent = device_.LastSentSeq() - (firstSeq_ - 1);
        const std::uint32_t acknowledged = Acknowledged(device_, firstSeq_);
        while (reported_ < std::size(kOrder)) {
            const std::uint32_t message = reported_ / 2 + 1;  // 1: configuration, 2: disconnect
            const bool isAcknowledgement = reported_ % 2 == 1;
            if ((isAcknowledgement ? acknowledged : sent) < message) break;
            stages_.Link(kOrder[reported_++]);
        }
    }

  private:
    const EnetDevice& device_;
    const std::uint32_t firstSeq_;
    JobStageReporter& stages_;
    std::size_t reported_ = 0;
};

void WaitForAcknowledgements(const EnetDevice& device, std::uint32_t firstSeq,
                             const JobOptions& options, LinkStages& linkStages) {
    const std::uint32_t start = options.tickCountMs();
    linkStages.Check();
    while (Acknowledged(device, firstSeq) < kMessagesPerJob &&
           options.tickCountMs() - start < options.acknowledgementWaitMs) {
        options.sleepMs(kAcknowledgementPollMs);
        linkStages.Check();
    }
}

// Bytes of the image served in completed transfers.
std::uint32_t ServedBytes(const net::CTftp& tftp, const net::BoardContext& context) {
    return tftp.Stats().transfersCompleted.load() *
           (context.imageSize - static_cast<std::uint32_t>(kFirmwarePayloadOffset));
}

std::vector<diag::JobAdapter> ListeningAdapters(const net::CBootP& bootp) {
    std::vector<diag::JobAdapter> adapters;
    for (std::uint32_t i = 0; i < bootp.InterfaceCount(); ++i) {
        if (!bootp.IsListening(static_cast<int>(i))) continue;
        const os::AdapterInfo& adapter = bootp.Adapters()[i];
        adapters.push_back({adapter.name, adapter.ipAddress});
    }
    return adapters;
}

// Waits (briefly) for every adapter's BOOTP socket to bind, then warns when none did:
// the log alone would leave the user waiting for a board that never gets an address.
int CheckBootp(const EnetDevice& device, const JobOptions& options, JobStageReporter& stages) {
    const net::CBootP* bootp = device.Bootp();
    if (bootp == nullptr) return -1;
    const std::uint32_t start = options.tickCountMs();
    while (!bootp->InterfacesSettled() && options.tickCountMs() - start < kBootpSettleMs)
        options.sleepMs(10);
    const int listening = bootp->ListeningInterfaces();
    stages.Adapters(ListeningAdapters(*bootp));
    if (listening == 0) {
        diag::theLog.Print("ProgrammingJob - no adapter answers BOOTP");
        diag::Ui().ShowMessage(kNoBootpWarning);
    }
    return listening;
}

}  // namespace

const char* const kNoBootpWarning =
    "No network adapter can answer BOOTP requests (UDP port 67).\n\n"
    "Another DHCP or BOOTP server on this computer may be using port 67, or no adapter "
    "has an IPv4 address. A board in BOOTP mode will not get its address; a board that "
    "already runs its firmware can still be programmed, so the job goes on.";

const char* OutcomeName(JobOutcome outcome) {
    switch (outcome) {
        case JobOutcome::kProgrammed:
            return "programmed";
        case JobOutcome::kInvalidField:
            return "invalid-field";
        case JobOutcome::kDeviceNotCreated:
            return "device-not-created";
        case JobOutcome::kLinkNotStarted:
            return "link-not-started";
        case JobOutcome::kNoBoard:
            return "no-board";
        case JobOutcome::kCancelled:
            return "cancelled";
        case JobOutcome::kNotAcknowledged:
            return "not-acknowledged";
    }
    return "unknown";
}

JobReport RunProgrammingJob(const JobFields& fields, const JobOptions& options) {
    JobStageReporter stages;
    JobReport report;
    // The addresses are checked as typed: a valid one fits the dialog's buffer whole,
    // and cutting an over-long one could leave a valid address nobody typed.
    if (const auto problem = ConfigFieldProblem(fields.ip, fields.mac)) {
        return Finish(report, stages, JobOutcome::kInvalidField, *problem);
    }
    const std::string ip = CutField(fields.ip, kIpTextLimit);
    const std::string mac = CutField(fields.mac, kMacTextLimit);
    const std::string nickname = CutField(fields.nickname, kNicknameTextLimit);

    ConfigBlock block{};
    BuildConfigBlock(ip.c_str(), mac.c_str(), nickname.c_str(), block.data());
    net::BoardContext context;
    const ServedImage builtIn = ServedImage::BuiltIn();
    const ServedImage& image = options.image != nullptr ? *options.image : builtIn;
    context.imageSize = image.Size();
    context.image = image.Data();

    device::DeviceServices services = options.services;
    services.events = &stages;
    std::unique_ptr<EnetDevice> device(new (std::nothrow) EnetDevice(&context, services));
    if (!device)
        return Finish(report, stages, JobOutcome::kDeviceNotCreated,
                      "Unable to create an instance of the EnetDevice Class");
    if (services.bootp) stages.HoldUntilAdapters();
    if (device->Init() == 0) {
        device.reset();
        return Finish(report, stages, JobOutcome::kLinkNotStarted,
                      std::string("EnetDevice init failure.\n") + kNotProgrammed +
                          "the board link (UDP port " + std::to_string(options.services.linkPort) +
                          ") could not start. Another program, or another copy of this one, may be "
                          "using it; the log has the details.");
    }

    report.bootpInterfaces = CheckBootp(*device, options, stages);
    const WaitEnd waitEnd = WaitForBoard(*device, options);
    if (const net::CTftp* tftp = device->Tftp())
        report.tftpBytesServed = ServedBytes(*tftp, context);
    if (waitEnd != WaitEnd::kBoardHeard) {
        device.reset();
        switch (waitEnd) {
            case WaitEnd::kCancelled:
                return Finish(report, stages, JobOutcome::kCancelled,
                              std::string(kNotProgrammed) + "the job was cancelled.");
            case WaitEnd::kTimedOut:
                return Finish(
                    report, stages, JobOutcome::kNoBoard,
                    std::string(kNotProgrammed) + "no board answered within the time limit.");
            default:
                return Finish(report, stages, JobOutcome::kNoBoard,
                              std::string(kNotProgrammed) +
                                  "no board answered, and the firmware server has stopped.");
        }
    }
    report.boardAddress = device->PeerAddress().ToString();
    report.boardIp = device->PeerAddress().addressNetworkOrder;
    stages.BoardHeard(device->PeerAddress());
    if (options.oneBoardPerJob) device->AdmitOnly(HardwareOf(stages.Stages(), report.boardIp));

    const std::uint32_t firstSeq = device->LastSentSeq() + 1;
    LinkStages linkStages(*device, firstSeq, stages);
    const auto check = [&linkStages] { linkStages.Check(); };
    SleepUnlessCancelled(options.settleMs, options, check);
    device->WriteConfig(block.data());
    SleepUnlessCancelled(options.settleMs, options, check);
    device->SendDisconnect();
    SleepUnlessCancelled(options.settleMs, options, check);
    WaitForAcknowledgements(*device, firstSeq, options, linkStages);
    report.messagesSent = device->LastSentSeq() - (firstSeq - 1);
    report.messagesAcknowledged = Acknowledged(*device, firstSeq);
    if (const net::CTftp* tftp = device->Tftp())
        report.tftpBytesServed = ServedBytes(*tftp, context);
    device.reset();

    if (report.messagesAcknowledged >= 1)
        return Finish(report, stages, JobOutcome::kProgrammed, "Programming Complete");
    return Finish(report, stages, JobOutcome::kNotAcknowledged,
                  std::string(kNotProgrammed) + "the board at " + report.boardAddress +
                      " did not acknowledge the configuration.");
}

}  // namespace app
