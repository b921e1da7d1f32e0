#include "tools/board-sim/BootpMode.h"

#include <chrono>
#include <random>

#include "tools/board-sim/built_in_image.h"
#include "tools/board-sim/interface_address.h"
#include "tools/board-sim/json_line.h"

namespace board_sim {
namespace {

using Clock = std::chrono::steady_clock;

std::uint32_t NewTransactionId() {
    std::random_device source;
    return static_cast<std::uint32_t>(source());
}

Json Endpoint(std::uint32_t addressNetworkOrder, std::uint16_t port) {
    return DottedAddress(addressNetworkOrder) + ':' + std::to_string(port);
}

}  // namespace

BootpMode::BootpMode(const BootpOptions& options, std::FILE* out, std::FILE* err)
    : options_(options), out_(out), err_(err) {}

int BootpMode::Run(const std::atomic<bool>& stopRequested) {
    const bool obtained = Obtain(stopRequested);
    PrintLine(out_, SummaryJson());
    return obtained ? 0 : 1;
}

bool BootpMode::Obtain(const std::atomic<bool>& stopRequested) {
    if (!InOwnNetworkNamespace(options_.interfaceName)) {
        failures_.emplace_back("other interfaces than loopback and " + options_.interfaceName);
        std::fprintf(err_,
                     "board-sim bootp: refusing to broadcast outside a network namespace of its "
                     "own (made by ip netns add, with lo and %s as its only interfaces)\n",
                     options_.interfaceName.c_str());
        return false;
    }
    if (!sockets_.Open(options_.interfaceName)) {
        failures_.push_back(sockets_.Error());
        std::fprintf(err_, "board-sim bootp: %s\n", sockets_.Error().c_str());
        return false;
    }
    mac_ = options_.mac.value_or(sockets_.InterfaceMac());
    const BootpExchange exchange(mac_, NewTransactionId(),
                                 options_.imageHeader.value_or(BuiltInImageHeader()));
    const auto request = exchange.Request();
    const PollLoop loop(stopRequested, std::chrono::milliseconds(options_.durationMs));
    const std::chrono::milliseconds interval(options_.intervalMs);

    while (requestsSent_ < options_.attempts && loop.Running()) {
        if (!sockets_.Broadcast(request)) {
            std::fprintf(err_, "board-sim bootp: %s\n", sockets_.Error().c_str());
        }
        ++requestsSent_;
        while (auto received = sockets_.Receive(loop, Clock::now() + interval)) {
            const ReplyCheck check = exchange.Check(received->payload);
            if (!check.ours) continue;
            reply_ = std::move(received);
            failures_ = check.failures;
            if (!failures_.empty()) return false;
            lease_ = check.lease;
            addressAssigned_ = AssignAddress(lease_->yourAddressNetworkOrder);
            return addressAssigned_;
        }
    }
    failures_.emplace_back("no reply");
    return false;
}

bool BootpMode::AssignAddress(std::uint32_t addressNetworkOrder) {
    std::string error;
    if (AddInterfaceAddress(options_.interfaceName, addressNetworkOrder, error)) return true;
    failures_.push_back(error);
    return false;
}

std::string BootpMode::SummaryJson() const {
    return JsonLine(
        {{"mode", "bootp"},
         {"interface", options_.interfaceName},
         {"mac", MacText(mac_)},
         {"requests_sent", requestsSent_},
         {"reply_from",
          reply_ ? Endpoint(reply_->sourceAddressNetworkOrder, reply_->sourcePort) : Json()},
         {"reply_to",
          reply_ ? Endpoint(reply_->destinationAddressNetworkOrder, reply_->destinationPort)
                 : Json()},
         {"yiaddr", lease_ ? Json(DottedAddress(lease_->yourAddressNetworkOrder)) : Json()},
         {"siaddr", lease_ ? Json(DottedAddress(lease_->serverAddressNetworkOrder)) : Json()},
         {"file", lease_ ? Json(lease_->bootFile) : Json()},
         {"checks_passed", lease_.has_value()},
         {"failures", failures_},
         {"address_assigned", addressAssigned_}});
}

}  // namespace board_sim
