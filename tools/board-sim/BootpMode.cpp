#include "tools/board-sim/BootpMode.h"

#include <net/if.h>

#include <chrono>
#include <cstring>
#include <random>

#include "tools/board-sim/built_in_image.h"
#include "tools/board-sim/interface_address.h"

namespace board_sim {
namespace {

using Clock = std::chrono::steady_clock;

std::uint32_t NewTransactionId() {
    std::random_device source;
    return static_cast<std::uint32_t>(source());
}

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

BootpMode::BootpMode(const BootpOptions& options, std::FILE* out, std::FILE* err)
    : options_(options), out_(out), err_(err) {}

// A board broadcasts: it runs only where loopback and its own interface are all the
// interfaces there are, as in a network namespace made for it, never beside the
// computer's real adapters.
bool BootpMode::InOwnNetworkNamespace(const std::string& interfaceName) {
    struct if_nameindex* names = if_nameindex();
    if (names == nullptr) return false;
    bool alone = true;
    for (const struct if_nameindex* name = names; name->if_index != 0; ++name) {
        alone = alone && (interfaceName == name->if_name || std::strcmp(name->if_name, "lo") == 0);
    }
    if_freenameindex(names);
    return alone;
}

int BootpMode::Run(const std::atomic<bool>& stopRequested) {
    const bool obtained = Obtain(stopRequested);
    std::fprintf(out_, "%s\n", SummaryJson().c_str());
    std::fflush(out_);
    return obtained ? 0 : 1;
}

bool BootpMode::Obtain(const std::atomic<bool>& stopRequested) {
    if (!InOwnNetworkNamespace(options_.interfaceName)) {
        failures_.emplace_back("other interfaces than loopback and " + options_.interfaceName);
        std::fprintf(err_,
                     "board-sim bootp: refusing to broadcast beside other interfaces than lo and "
                     "%s (run it with ip netns exec in a namespace of its own)\n",
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
    std::string json = "{\"mode\":\"bootp\"";
    const auto add = [&json](const char* key, const std::string& value) {
        json += ",\"";
        json += key;
        json += "\":";
        json += value;
    };
    add("interface", Quoted(options_.interfaceName));
    add("mac", Quoted(MacText(mac_)));
    add("requests_sent", std::to_string(requestsSent_));
    add("reply_from", reply_ ? Quoted(DottedAddress(reply_->sourceAddressNetworkOrder) + ':' +
                                      std::to_string(reply_->sourcePort))
                             : "null");
    add("reply_to", reply_ ? Quoted(DottedAddress(reply_->destinationAddressNetworkOrder) + ':' +
                                    std::to_string(reply_->destinationPort))
                           : "null");
    add("yiaddr", lease_ ? Quoted(DottedAddress(lease_->yourAddressNetworkOrder)) : "null");
    add("siaddr", lease_ ? Quoted(DottedAddress(lease_->serverAddressNetworkOrder)) : "null");
    add("file", lease_ ? Quoted(lease_->bootFile) : "null");
    add("checks_passed", lease_ ? "true" : "false");
    std::string failures = "[";
    for (const std::string& failure : failures_) {
        if (failures.size() > 1) failures += ',';
        failures += Quoted(failure);
    }
    add("failures", failures + ']');
    add("address_assigned", addressAssigned_ ? "true" : "false");
    return json + '}';
}

}  // namespace board_sim
