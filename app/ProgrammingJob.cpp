#include "app/ProgrammingJob.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <iterator>
#include <memory>

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

constexpr std::uint32_t kBootpSettleMs = 1000;
constexpr std::uint32_t kSleepStepMs = 20;
constexpr std::uint32_t kAcknowledgementPollMs = 10;

// The hardware address BOOTP gave the board's address to, if it did.
std::optional<net::EthernetAddress> HardwareOf(const std::vector<diag::JobStage>& grants,
                                               std::uint32_t boardIp) {
    for (const diag::JobStage& stage : grants) {
        if (os::InetAddr(stage.address.c_str()) != boardIp) continue;
        if (const auto address = net::ParseEthernetAddress(stage.hardwareAddress)) return address;
    }
    return std::nullopt;
}

// Which board BOOTP answered, and how long it took from there to the outcome.
void NoteAnsweredBoard(JobReport& report, const std::vector<diag::JobStage>& grants) {
    const diag::JobStage* given = nullptr;
    for (const diag::JobStage& stage : grants) {
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
JobReport Finish(JobReport report, JobStageReporter& stages, const JobOptions& options, JobEnd end,
                 const JobEndDetails& details = {}) {
    report.end = end;
    report.outcome = OutcomeOf(end);
    report.message = JobEndMessage(end, details);
    diag::theLog.Print("ProgrammingJob - the job ended: %s", JobEndName(end));
    stages.Outcome(OutcomeName(report.outcome), report.message);
    report.stages = stages.Stages();
    NoteAnsweredBoard(report, stages.Grants());
    if (options.beforeOutcomeMessage) options.beforeOutcomeMessage();
    diag::Ui().ShowMessage(report.message);
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

// Why the services ended the wait for the board: the firmware server's worker ended.
JobEnd EndOfServices(const EnetDevice& device) {
    const net::CTftp* tftp = device.Tftp();
    if (tftp == nullptr) return JobEnd::kFirmwareServerFailed;
    switch (tftp->WhyEnded()) {
        case net::CTftp::EndReason::kProgressCancelled:
            return JobEnd::kTransferCancelled;
        case net::CTftp::EndReason::kSilenceCancelled:
            // The question came either from a transfer that stalled, or from silence
            // before any transfer or after one that completed.
            if (tftp->CurrentState() != net::CTftpTransfer::Idle) return JobEnd::kTransferStalled;
            if (tftp->Stats().transfersCompleted.load() > 0) return JobEnd::kSilentAfterFirmware;
            return JobEnd::kNoBoardAnswered;
        default:
            return JobEnd::kFirmwareServerFailed;
    }
}

JobEnd EndOfWait(WaitEnd waitEnd, const EnetDevice& device) {
    switch (waitEnd) {
        case WaitEnd::kCancelled:
            return JobEnd::kCancelled;
        case WaitEnd::kTimedOut:
            return JobEnd::kTimedOut;
        default:
            return EndOfServices(device);
    }
}

// Deletes the device, which stops its services. When the job itself ends them (a
// cancel, its time limit), a box one of them shows must not hold that up.
void StopDevice(std::unique_ptr<EnetDevice>& device, bool endedByTheJob) {
    if (endedByTheJob) diag::Ui().SetCancelling(true);
    device.reset();
    if (endedByTheJob) diag::Ui().SetCancelling(false);
}

// Null when the device cannot be made; its queues throw their integer codes.
std::unique_ptr<EnetDevice> MakeDevice(net::BoardContext& context,
                                       const device::DeviceServices& services,
                                       const JobOptions& options) {
    try {
        if (options.makeDevice) return options.makeDevice(&context, services);
        return std::make_unique<EnetDevice>(&context, services);
    } catch (int code) {
        diag::theLog.Print("ProgrammingJob - the device cannot be created: error %d", code);
    } catch (const std::exception& error) {
        diag::theLog.Print("ProgrammingJob - the device cannot be created: %s", error.what());
    }
    return nullptr;
}

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

// False when the job was cancelled meanwhile.
bool WaitForAcknowledgements(const EnetDevice& device, std::uint32_t firstSeq,
                             const JobOptions& options, LinkStages& linkStages) {
    const std::uint32_t start = options.tickCountMs();
    linkStages.Check();
    while (Acknowledged(device, firstSeq) < kMessagesPerJob &&
           options.tickCountMs() - start < options.acknowledgementWaitMs) {
        if (Cancelled(options)) return false;
        options.sleepMs(kAcknowledgementPollMs);
        linkStages.Check();
    }
    return true;
}

// Bytes of the image served in completed transfers.
std::uint32_t ServedBytes(const net::CTftp& tftp, const net::BoardContext& context) {
    return tftp.Stats().transfersCompleted.load() *
           (context.imageSize - static_cast<std::uint32_t>(kFirmwarePayloadOffset));
}

std::vector<diag::JobAdapter> ListeningAdapters(const net::CBootP& bootp) {
    std::vector<diag::JobAdapter> adapters;
    for (const os::AdapterInfo& adapter : bootp.ServedAdapters())
        adapters.push_back({adapter.name, adapter.ipAddress});
    return adapters;
}

// Waits (briefly) for every adapter's BOOTP socket to bind, then warns when none did:
// the log alone would leave the user waiting for a board that never gets an address.
// The job goes on either way: an adapter that gets its address later (the board
// powered after the click) is served from then on, and reported as a stage.
int CheckBootp(const EnetDevice& device, const JobOptions& options, JobStageReporter& stages) {
    const net::CBootP* bootp = device.Bootp();
    if (bootp == nullptr) return -1;
    const std::uint32_t start = options.tickCountMs();
    while (!bootp->InterfacesSettled() && options.tickCountMs() - start < kBootpSettleMs)
        options.sleepMs(10);
    std::vector<diag::JobAdapter> adapters = ListeningAdapters(*bootp);
    const int listening = static_cast<int>(adapters.size());
    stages.Adapters(std::move(adapters));
    if (listening == 0) {
        diag::theLog.Print("ProgrammingJob - no adapter answers BOOTP");
        diag::Ui().ShowMessage(JobWarningMessage(
            bootp->InterfaceCount() == 0 ? JobWarning::kNoAdapter : JobWarning::kBootpPortInUse));
    }
    return listening;
}

// The same for the firmware server's port: without it the board in BOOTP mode asks in
// vain, and the user would learn of it only from the silence question.
void CheckFirmwarePort(const EnetDevice& device, const JobOptions& options) {
    const net::CTftp* tftp = device.Tftp();
    if (tftp == nullptr) return;
    const std::uint32_t start = options.tickCountMs();
    while (tftp->Port() == net::CTftp::PortState::kPending && !tftp->HasEnded() &&
           options.tickCountMs() - start < kBootpSettleMs)
        options.sleepMs(10);
    if (tftp->Port() != net::CTftp::PortState::kUnavailable) return;
    diag::theLog.Print("ProgrammingJob - the firmware server has no port");
    diag::Ui().ShowMessage(JobWarningMessage(JobWarning::kFirmwarePortInUse));
}

}  // namespace

JobReport RunProgrammingJob(const JobFields& fields, const JobOptions& options) {
    JobStageReporter stages;
    JobReport report;
    JobEndDetails details;
    details.linkPort = options.services.linkPort;
    // The addresses are checked as typed: a valid one fits the dialog's buffer whole,
    // and cutting an over-long one could leave a valid address nobody typed.
    if (const auto problem = ConfigFieldProblem(fields.ip, fields.mac)) {
        details.fieldProblem = *problem;
        return Finish(report, stages, options, JobEnd::kInvalidField, details);
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
    std::unique_ptr<EnetDevice> device = MakeDevice(context, services, options);
    if (!device) return Finish(report, stages, options, JobEnd::kDeviceNotCreated);
    if (services.bootp) stages.HoldUntilAdapters();
    if (device->Init() == 0) {
        device.reset();
        return Finish(report, stages, options, JobEnd::kLinkPortInUse, details);
    }

    report.bootpInterfaces = CheckBootp(*device, options, stages);
    CheckFirmwarePort(*device, options);
    device->FollowBootp();
    const WaitEnd waitEnd = WaitForBoard(*device, options);
    if (const net::CTftp* tftp = device->Tftp())
        report.tftpBytesServed = ServedBytes(*tftp, context);
    if (waitEnd != WaitEnd::kBoardHeard) {
        const JobEnd end = EndOfWait(waitEnd, *device);
        StopDevice(device, waitEnd != WaitEnd::kServicesEnded);
        return Finish(report, stages, options, end, details);
    }
    report.boardAddress = device->PeerAddress().ToString();
    report.boardIp = device->PeerAddress().addressNetworkOrder;
    stages.BoardHeard(device->PeerAddress());
    if (options.oneBoardPerJob) device->AdmitOnly(HardwareOf(stages.Grants(), report.boardIp));

    // A cancel stops the job where it stands: nothing more is sent to the board.
    const std::uint32_t firstSeq = device->LastSentSeq() + 1;
    LinkStages linkStages(*device, firstSeq, stages);
    const auto check = [&linkStages] { linkStages.Check(); };
    bool cancelled = !SleepUnlessCancelled(options.settleMs, options, check);
    if (!cancelled) {
        device->WriteConfig(block.data());
        cancelled = !SleepUnlessCancelled(options.settleMs, options, check);
    }
    if (!cancelled) {
        device->SendDisconnect();
        cancelled = !SleepUnlessCancelled(options.settleMs, options, check) ||
                    !WaitForAcknowledgements(*device, firstSeq, options, linkStages);
    }
    linkStages.Check();
    report.messagesSent = device->LastSentSeq() - (firstSeq - 1);
    report.messagesAcknowledged = Acknowledged(*device, firstSeq);
    if (const net::CTftp* tftp = device->Tftp())
        report.tftpBytesServed = ServedBytes(*tftp, context);
    StopDevice(device, cancelled);

    details.boardAddress = report.boardAddress;
    if (report.messagesAcknowledged >= 1)
        return Finish(report, stages, options,
                      cancelled ? JobEnd::kCancelledAfterConfiguration : JobEnd::kProgrammed);
    return Finish(report, stages, options,
                  cancelled ? JobEnd::kCancelled : JobEnd::kNotAcknowledged, details);
}

}  // namespace app
