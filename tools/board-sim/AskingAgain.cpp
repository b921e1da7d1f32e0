#include "tools/board-sim/AskingAgain.h"

#include <arpa/inet.h>

#include <chrono>
#include <random>
#include <thread>

#include "tools/board-sim/BootpSockets.h"
#include "tools/board-sim/byte_fields.h"
#include "tools/board-sim/interface_address.h"
#include "tools/board-sim/json_line.h"

namespace board_sim {
namespace {

using Clock = PollLoop::Clock;

LinkOptions LinkOptionsFor(const AskAgainPlan& plan) {
    LinkOptions link;
    link.serverAddressNetworkOrder = plan.serverAddressNetworkOrder;
    link.serverText =
        DottedAddress(plan.serverAddressNetworkOrder) + ':' + std::to_string(link.serverPort);
    link.localAddressNetworkOrder = plan.configuredAddressNetworkOrder;
    link.statusIntervalMs = plan.statusIntervalMs;
    link.durationMs = plan.requests * plan.intervalMs;
    link.flashPath = plan.flashPath;
    return link;
}

}  // namespace

std::uint32_t ConfiguredAddress(const ConfigBlock& block) {
    // The block holds the host-order value little-endian (see BuildConfigBlock).
    return htonl(load_le32(block.data() + kConfigIpAddressOffset));
}

AskingAgain::AskingAgain(const AskAgainPlan& plan, std::FILE* err)
    : plan_(plan), err_(err), link_(LinkOptionsFor(plan), err, err) {}

AskingAgain::~AskingAgain() {
    Finish();
}

void AskingAgain::Start(const std::atomic<bool>& stopRequested) {
    thread_ = std::thread([this, &stopRequested] { Run(stopRequested); });
}

void AskingAgain::Finish() {
    if (thread_.joinable()) thread_.join();
}

void AskingAgain::Run(const std::atomic<bool>& stopRequested) {
    PollLoop(stopRequested).SleepUntil(Clock::now() + std::chrono::milliseconds(plan_.restartMs));
    std::string error;
    if (!AddInterfaceAddress(plan_.interfaceName, plan_.configuredAddressNetworkOrder, error)) {
        failures_.push_back(error);
        return;
    }
    if (link_.Open()) {
        std::thread linkThread([this, &stopRequested] { link_.Serve(stopRequested); });
        AskBootp(stopRequested);
        linkThread.join();
    } else {
        failures_.emplace_back("cannot open the link socket");
    }
    if (!RemoveInterfaceAddress(plan_.interfaceName, plan_.configuredAddressNetworkOrder, error))
        failures_.push_back(error);
}

void AskingAgain::AskBootp(const std::atomic<bool>& stopRequested) {
    BootpSockets sockets;
    if (!sockets.Open(plan_.interfaceName)) {
        failures_.push_back(sockets.Error());
        return;
    }
    std::random_device source;
    const BootpExchange exchange(plan_.mac, static_cast<std::uint32_t>(source()),
                                 plan_.imageHeader);
    const auto request = exchange.Request();
    const std::chrono::milliseconds interval(plan_.intervalMs);
    // Bounded in time as well, for an interface where every broadcast fails.
    const PollLoop loop(stopRequested, (plan_.requests + 1) * interval);
    while (requestsSent_ < plan_.requests && loop.Running()) {
        if (sockets.Broadcast(request))
            ++requestsSent_;
        else
            std::fprintf(err_, "board-sim ask-again: %s\n", sockets.Error().c_str());
        const auto nextRequest = Clock::now() + interval;
        while (const auto received = sockets.Receive(loop, nextRequest)) {
            if (exchange.Check(received->payload).ours) ++bootpReplies_;
        }
    }
}

bool AskingAgain::Unanswered() const {
    return failures_.empty() && requestsSent_ > 0 && bootpReplies_ == 0 &&
           link_.Traffic().datagramsSent > 0 && link_.Traffic().datagramsReceived == 0;
}

std::string AskingAgain::SummaryJson() const {
    const TrafficCounts& traffic = link_.Traffic();
    return JsonLine({{"mode", "ask-again"},
                     {"board", plan_.board},
                     {"mac", MacText(plan_.mac)},
                     {"ip", DottedAddress(plan_.configuredAddressNetworkOrder)},
                     {"bootp_requests_sent", requestsSent_},
                     {"bootp_replies", bootpReplies_},
                     {"link_datagrams_sent", traffic.datagramsSent},
                     {"link_send_errors", traffic.sendErrors},
                     {"link_datagrams_received", traffic.datagramsReceived},
                     {"config_writes", link_.Counters().configWrites},
                     {"failures", failures_},
                     {"unanswered", Unanswered()}});
}

}  // namespace board_sim
