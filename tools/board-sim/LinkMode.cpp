#include "tools/board-sim/LinkMode.h"

#include "tools/board-sim/PollLoop.h"
#include "tools/board-sim/interface_address.h"
#include "tools/board-sim/json_line.h"

#include <algorithm>

namespace board_sim {

namespace {

// Larger than any UDP datagram, so an oversized one arrives whole and is counted as
// a length fault rather than cut to a plausible size.
constexpr std::size_t kReceiveBufferSize = 65536;
// Datagrams taken per wake-up, so a flood cannot hold off the status timer.
constexpr int kMaxDatagramsPerWake = 64;

}  // namespace

LinkMode::LinkMode(const LinkOptions& options, std::FILE* out, std::FILE* err)
    : options_(options),
      out_(out),
      err_(err),
      faults_(options.faultRates, options.seed),
      flash_(options.flashPath),
      receiveBuffer_(kReceiveBufferSize) {}

int LinkMode::Run(const std::atomic<bool>& stopRequested) {
    if (!TakeOwnAddress()) return 1;
    int status = 1;
    if (Open()) {
        status = Serve(stopRequested);
        PrintLine(out_, SummaryJson());
    }
    return ReleaseOwnAddress() ? status : 1;
}

// A board that already has its address (--address) holds it on its interface for the
// run, beside any address a board asking BOOTP on the same cable is given meanwhile:
// secondary addresses are promoted, so that removing this one leaves theirs.
bool LinkMode::TakeOwnAddress() {
    if (options_.interfaceName.empty()) return true;
    std::string error;
    if (!InOwnNetworkNamespace(options_.interfaceName)) {
        std::fprintf(err_,
                     "board-sim link: refusing to take an address outside a network namespace of "
                     "its own (made by ip netns add, with lo and %s as its only interfaces)\n",
                     options_.interfaceName.c_str());
        return false;
    }
    if (!PromoteSecondaryAddresses(options_.interfaceName, error) ||
        !AddInterfaceAddress(options_.interfaceName, options_.localAddressNetworkOrder, error)) {
        std::fprintf(err_, "board-sim link: %s\n", error.c_str());
        return false;
    }
    return true;
}

bool LinkMode::ReleaseOwnAddress() {
    if (options_.interfaceName.empty()) return true;
    std::string error;
    if (RemoveInterfaceAddress(options_.interfaceName, options_.localAddressNetworkOrder, error))
        return true;
    std::fprintf(err_, "board-sim link: %s\n", error.c_str());
    return false;
}

bool LinkMode::Open() {
    if (!OpenResources()) return false;
    std::fprintf(err_, "board-sim: link mode, local port %u, server %s\n",
                 static_cast<unsigned>(socket_.LocalPort()), options_.serverText.c_str());
    std::fflush(err_);
    return true;
}

int LinkMode::Serve(const std::atomic<bool>& stopRequested) {
    Loop(stopRequested);
    traffic_.recordErrors = recorder_.WriteFailures();
    const bool storageFailed = flash_.WriteFailures() != 0 || recorder_.WriteFailures() != 0;
    return storageFailed ? 1 : 0;
}

std::string LinkMode::SummaryJson() const {
    return Summary(link_.Counters(), faults_, flash_, traffic_).ToJson();
}

bool LinkMode::OpenResources() {
    if (!socket_.Open(options_.localAddressNetworkOrder)) {
        std::fprintf(err_, "board-sim: cannot open the socket: %s\n", socket_.Error().c_str());
        return false;
    }
    if (!options_.recordPath.empty() && !recorder_.Open(options_.recordPath)) {
        std::fprintf(err_, "board-sim: %s\n", recorder_.LastError().c_str());
        return false;
    }
    return true;
}

void LinkMode::Loop(const std::atomic<bool>& stopRequested) {
    start_ = Clock::now();
    PollLoop loop(stopRequested, start_ + std::chrono::milliseconds(options_.durationMs));
    const std::chrono::milliseconds interval(options_.statusIntervalMs);
    Clock::time_point nextStatus = start_;
    while (loop.Running()) {
        const Clock::time_point now = Clock::now();
        if (now >= nextStatus) {
            SendStatus();
            nextStatus += interval;
            if (nextStatus <= now) nextStatus = now + interval;  // fell behind: no burst
        }
        if (loop.Wait(nextStatus, socket_.Descriptor())) ReceivePending();
        if (disconnectExit_) loop.EndBy(*disconnectExit_);
    }
}

void LinkMode::ReceivePending() {
    for (int taken = 0; taken < kMaxDatagramsPerWake; ++taken) {
        const std::optional<ReceivedDatagram> received = socket_.Receive(receiveBuffer_);
        if (!received) return;
        ++traffic_.datagramsReceived;
        const std::size_t kept = std::min(received->size, receiveBuffer_.size());
        HandleDatagram(std::span<const std::uint8_t>(receiveBuffer_).first(kept));
    }
}

void LinkMode::HandleDatagram(std::span<const std::uint8_t> datagram) {
    if (faults_.DropIncoming()) return;
    const int copies = faults_.DuplicateIncoming() ? 2 : 1;
    for (int copy = 0; copy < copies; ++copy)
        ProcessOnce(datagram);
}

void LinkMode::ProcessOnce(std::span<const std::uint8_t> datagram) {
    const ReceiveOutcome outcome = link_.Receive(datagram);
    if (outcome.accepted) KeepMessage(outcome);
    SendStatus();
}

void LinkMode::KeepMessage(const ReceiveOutcome& outcome) {
    if (!recorder_.Append(outcome.message)) {
        std::fprintf(err_, "board-sim: %s\n", recorder_.LastError().c_str());
    }
    if (outcome.report.configBlock && !flash_.Store(*outcome.report.configBlock)) {
        std::fprintf(err_, "board-sim: flash: %s\n", flash_.LastError().c_str());
    }
    const bool disconnect = outcome.report.kind == MessageKind::kDisconnect;
    if (disconnect && options_.exitAfterDisconnect && !disconnectExit_) {
        disconnectExit_ = Clock::now() + kDisconnectLinger;
    }
}

void LinkMode::SendStatus() {
    if (options_.silent) return;
    const StatusDatagram status = link_.BuildStatus(UptimeMs());
    if (faults_.DropOutgoing()) return;
    Send(status);
    if (faults_.DuplicateOutgoing()) Send(status);
}

void LinkMode::Send(std::span<const std::uint8_t> datagram) {
    if (socket_.SendTo(datagram, options_.serverAddressNetworkOrder, options_.serverPort)) {
        ++traffic_.datagramsSent;
    } else {
        ++traffic_.sendErrors;
    }
}

std::uint32_t LinkMode::UptimeMs() const {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_);
    return static_cast<std::uint32_t>(elapsed.count());
}

}  // namespace board_sim
