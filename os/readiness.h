// What the pre-flight check asks of the computer beyond the adapter list (os/adapters):
// whether an adapter's link is up, the loopback adapters that the list leaves out,
// what a refused bind means, and whether the installer's firewall rule is present.
// Nothing here sends a datagram. Thread-safe.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "os/adapters.h"

namespace os {

// Up and carrying (Linux: IFF_UP and IFF_RUNNING; Windows: operational or
// connected); nothing when the platform cannot tell.
std::optional<bool> LinkIsUp(const AdapterInfo& adapter);

struct LoopbackAdapter {
    std::string name;
    std::string address;  // its first IPv4 address, dotted; empty without one
};
std::vector<LoopbackAdapter> LoopbackAdapters();

enum class BindRefusal {
    kInUse,           // another socket holds the port (Windows: also held exclusively or reserved)
    kNeedsPrivilege,  // POSIX: a port below 1024 needs root or CAP_NET_BIND_SERVICE
    kOther,
};
// What a bind's Windows Sockets code (UdpSocket::LastError) means for the user.
BindRefusal ClassifyBindError(int wsaCode);

enum class FirewallRuleState {
    kNotApplicable,  // no Windows Firewall on this platform
    kPresent,
    kMissing,
    kUnknown,  // netsh could not be run or did not say (Wine's netsh says nothing)
};
// Asks `netsh advfirewall firewall show rule name=NAME`, waiting at most a few seconds.
FirewallRuleState FindFirewallRule(const std::string& name);

}  // namespace os
