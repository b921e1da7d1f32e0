#include "app/ReadinessCheck.h"

#include <algorithm>
#include <cstring>

#include "app/address_text.h"
#include "net/CBootP.h"
#include "os/error_text.h"
#include "os/udp_socket.h"

namespace app {
namespace {

using os::AdapterInfo;

// The adapters as the BOOTP server lists them: room for its slots, and once more with
// the room the platform asks for.
std::vector<AdapterInfo> ListedAdapters(std::string& problem) {
    std::vector<AdapterInfo> adapters;
    std::uint32_t needed = 0;
    std::uint32_t error = os::ListAdapters(net::CBootP::kInterfaceSlots, adapters, needed);
    if (error == os::kErrorBufferOverflow) error = os::ListAdapters(needed, adapters, needed);
    if (error != 0 && error != os::kErrorNoData)
        problem = "The network adapters cannot be listed (error " + std::to_string(error) + ").";
    return adapters;
}

// The pool BOOTP gives on an adapter: its address with the last number 100 to 109.
void SetPool(AdapterReadiness& adapter, std::uint32_t addressNetworkOrder) {
    std::uint8_t octets[4];
    std::memcpy(octets, &addressNetworkOrder, sizeof octets);
    const auto withLast = [&](int last) {
        octets[3] = static_cast<std::uint8_t>(last);
        std::uint32_t address = 0;
        std::memcpy(&address, octets, sizeof address);
        return Ipv4Text(address);
    };
    adapter.poolFirst = withLast(net::CBootP::kFirstPoolHost);
    adapter.poolLast = withLast(net::CBootP::kFirstPoolHost + net::CBootP::kPoolEntries - 1);
}

AdapterReadiness Judge(const AdapterInfo& info, std::size_t position) {
    AdapterReadiness adapter;
    adapter.name = info.name;
    adapter.description = info.description;
    const auto address = ParseIpv4Text(info.ipAddress);
    if (address && *address != 0) adapter.address = info.ipAddress;
    if (adapter.address.empty()) {
        adapter.whyNot = "no IPv4 address";
    } else if (position >= static_cast<std::size_t>(net::CBootP::kInterfaceSlots)) {
        adapter.whyNot = "more adapters than BOOTP serves";
    } else if (os::LinkIsUp(info) == false) {
        adapter.whyNot = "link down";
    } else {
        adapter.served = true;
        SetPool(adapter, *address);
    }
    return adapter;
}

PortReadiness Judged(PortReadiness port, const os::UdpSocket& socket) {
    const int code = socket.LastError();
    switch (os::ClassifyBindError(code)) {
        case os::BindRefusal::kInUse:
            port.state = PortState::kInUse;
            break;
        case os::BindRefusal::kNeedsPrivilege:
            port.state = PortState::kNeedsPrivilege;
            break;
        case os::BindRefusal::kOther:
            port.state = PortState::kFailed;
            port.detail = os::SystemErrorText(code);
            while (!port.detail.empty() &&
                   (port.detail.back() == '\n' || port.detail.back() == '\r'))
                port.detail.pop_back();
            break;
    }
    return port;
}

// A test socket, closed again at once: as the TFTP server and the link bind theirs.
PortReadiness TryPort(std::uint16_t number, const char* service) {
    PortReadiness port{number, service, PortState::kFree, ""};
    os::UdpSocket socket;
    if (socket.Open() && socket.Bind(0, number)) return port;
    return Judged(port, socket);
}

// Port 67 as the BOOTP server binds it: on each adapter it would serve.
PortReadiness TryBootpPort(const std::vector<AdapterInfo>& listed,
                           const std::vector<AdapterReadiness>& judged) {
    const std::uint16_t number = net::CBootP::kServerPort;
    bool tried = false;
    for (std::size_t i = 0; i < judged.size() && i < listed.size(); ++i) {
        if (!judged[i].served) continue;
        tried = true;
        os::UdpSocket socket;
        const std::uint32_t address = ParseIpv4Text(listed[i].ipAddress).value_or(0);
        if (!socket.Open() || !os::BindToAdapter(socket, listed[i], address, number))
            return Judged({number, "BOOTP", PortState::kFree, ""}, socket);
    }
    return tried ? PortReadiness{number, "BOOTP", PortState::kFree, ""} : TryPort(number, "BOOTP");
}

std::string PortProblem(const PortReadiness& port) {
    const std::string named = "UDP port " + std::to_string(port.port) + " (" + port.service + ") ";
    switch (port.state) {
        case PortState::kFree:
            return "";
        case PortState::kInUse:
            if (port.service == "BOOTP")
                return named +
                       "is in use by another program: stop any other DHCP or BOOTP server on "
                       "this computer.";
            if (port.service == "TFTP")
                return named +
                       "is in use by another program: stop any other TFTP server on "
                       "this computer.";
            return named + "is in use by another program, or by another copy of this one.";
        case PortState::kNeedsPrivilege:
            return named + "can be bound only by root or with CAP_NET_BIND_SERVICE.";
        case PortState::kFailed:
            return named + "cannot be bound: " + port.detail;
    }
    return "";
}

}  // namespace

Readiness CheckReadiness(const device::DeviceServices& services) {
    Readiness readiness;
    std::string listProblem;
    const std::vector<AdapterInfo> listed = ListedAdapters(listProblem);
    if (!listProblem.empty()) readiness.problems.push_back(listProblem);
    for (std::size_t i = 0; i < listed.size(); ++i)
        readiness.adapters.push_back(Judge(listed[i], i));
    for (const os::LoopbackAdapter& loopback : os::LoopbackAdapters()) {
        AdapterReadiness adapter;
        adapter.name = adapter.description = loopback.name;
        adapter.address = loopback.address;
        adapter.whyNot = "loopback";
        readiness.adapters.push_back(adapter);
    }
    const bool anyServed =
        std::any_of(readiness.adapters.begin(), readiness.adapters.end(),
                    [](const AdapterReadiness& adapter) { return adapter.served; });
    if (!anyServed)
        readiness.problems.push_back(
            "No adapter can give a board its address: none has an IPv4 address with its link up.");

    readiness.ports.push_back(TryBootpPort(listed, readiness.adapters));
    readiness.ports.push_back(TryPort(services.tftpPort, "TFTP"));
    readiness.ports.push_back(TryPort(services.linkPort, "board link"));
    for (const PortReadiness& port : readiness.ports)
        if (port.state != PortState::kFree) readiness.problems.push_back(PortProblem(port));

    readiness.firewallRule = os::FindFirewallRule(kFirewallRuleName);
    if (readiness.firewallRule == os::FirewallRuleState::kMissing)
        readiness.warnings.push_back(
            "The firewall rule \"" + std::string(kFirewallRuleName) +
            "\" is missing: unless Windows Firewall is off, it drops the board's datagrams. The "
            "installer adds it; see the README for the netsh command.");
    if (readiness.firewallRule == os::FirewallRuleState::kUnknown)
        readiness.warnings.push_back("Whether the firewall rule \"" +
                                     std::string(kFirewallRuleName) +
                                     "\" is present could not be found out.");
    return readiness;
}

const char* PortStateName(PortState state) {
    switch (state) {
        case PortState::kFree:
            return "free";
        case PortState::kInUse:
            return "in-use";
        case PortState::kNeedsPrivilege:
            return "needs-privilege";
        case PortState::kFailed:
            return "error";
    }
    return "error";
}

const char* FirewallRuleStateName(os::FirewallRuleState state) {
    switch (state) {
        case os::FirewallRuleState::kPresent:
            return "present";
        case os::FirewallRuleState::kMissing:
            return "missing";
        case os::FirewallRuleState::kUnknown:
            return "unknown";
        case os::FirewallRuleState::kNotApplicable:
            return "not-applicable";
    }
    return "unknown";
}

}  // namespace app
