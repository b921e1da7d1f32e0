// Before a job: what it would do on this computer and what would stop it. Each adapter
// BOOTP would serve, with the pool it would give there; each it would not, and why;
// whether the job's UDP ports can be bound (by test sockets, closed at once: nothing
// is sent); on Windows whether the installer's firewall rule is present. Runs on the
// caller's thread in well under a second (netsh may take a few).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/EnetDevice.h"
#include "os/readiness.h"

namespace app {

// The name of the inbound rule the Windows installer adds (packaging/windows).
constexpr const char* kFirewallRuleName = "Ethernet Motion Control Board Configurator";

struct AdapterReadiness {
    std::string name;         // as the platform names it
    std::string description;  // Windows: the adapter's own words; Linux: the name
    std::string address;      // its IPv4 address, empty without one
    bool served = false;
    std::string whyNot;     // when not served: "no IPv4 address", "link down", "loopback"
    std::string poolFirst;  // when served: the addresses BOOTP would give there
    std::string poolLast;
};

enum class PortState { kFree, kInUse, kNeedsPrivilege, kFailed };

struct PortReadiness {
    std::uint16_t port = 0;
    std::string service;  // "BOOTP", "TFTP", "board link"
    PortState state = PortState::kFree;
    std::string detail;  // kFailed: the system's words
};

struct Readiness {
    std::vector<AdapterReadiness> adapters;
    std::vector<PortReadiness> ports;
    os::FirewallRuleState firewallRule = os::FirewallRuleState::kNotApplicable;
    // What would keep a job from programming a board in BOOTP mode, one sentence each.
    std::vector<std::string> problems;
    // What may keep it from working without stopping it (a missing firewall rule).
    std::vector<std::string> warnings;

    bool Ready() const { return problems.empty(); }
};

// For the ports of `services` (the job's defaults: 67, 69, 5020).
Readiness CheckReadiness(const device::DeviceServices& services = {});

// "free", "in-use", "needs-privilege", "error".
const char* PortStateName(PortState state);
// "present", "missing", "unknown", "not-applicable".
const char* FirewallRuleStateName(os::FirewallRuleState state);

}  // namespace app
