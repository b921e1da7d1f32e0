#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>

#include "os/readiness.h"
#include "os/wsa_errors.h"

namespace os {
namespace {

class InterfaceList {
  public:
    InterfaceList() {
        if (getifaddrs(&list_) != 0) list_ = nullptr;
    }
    ~InterfaceList() {
        if (list_ != nullptr) freeifaddrs(list_);
    }
    InterfaceList(const InterfaceList&) = delete;
    InterfaceList& operator=(const InterfaceList&) = delete;
    const ifaddrs* First() const { return list_; }

  private:
    ifaddrs* list_ = nullptr;
};

std::string Ipv4Of(const ifaddrs& entry) {
    char text[INET_ADDRSTRLEN] = "";
    const auto* inet = reinterpret_cast<const sockaddr_in*>(entry.ifa_addr);
    if (inet_ntop(AF_INET, &inet->sin_addr, text, sizeof text) == nullptr) return "";
    return text;
}

}  // namespace

std::optional<bool> LinkIsUp(const AdapterInfo& adapter) {
    const InterfaceList list;
    for (const ifaddrs* entry = list.First(); entry != nullptr; entry = entry->ifa_next) {
        if (std::strcmp(entry->ifa_name, adapter.name) != 0) continue;
        // IFF_RUNNING is the carrier: a cable, or a veth whose other end is up.
        return (entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_RUNNING) != 0;
    }
    return std::nullopt;
}

std::vector<LoopbackAdapter> LoopbackAdapters() {
    std::vector<LoopbackAdapter> found;
    const InterfaceList list;
    for (const ifaddrs* entry = list.First(); entry != nullptr; entry = entry->ifa_next) {
        if ((entry->ifa_flags & IFF_LOOPBACK) == 0) continue;
        LoopbackAdapter* adapter = nullptr;
        for (LoopbackAdapter& known : found)
            if (known.name == entry->ifa_name) adapter = &known;
        if (adapter == nullptr) adapter = &found.emplace_back(LoopbackAdapter{entry->ifa_name, ""});
        const bool ipv4 = entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET;
        if (ipv4 && adapter->address.empty()) adapter->address = Ipv4Of(*entry);
    }
    return found;
}

BindRefusal ClassifyBindError(int wsaCode) {
    if (wsaCode == kWsaEAddrInUse) return BindRefusal::kInUse;
    // EACCES for a port below 1024; EPERM for SO_BINDTODEVICE on kernels before 5.7.
    if (wsaCode == kWsaEAcces || wsaCode == EPERM) return BindRefusal::kNeedsPrivilege;
    return BindRefusal::kOther;
}

FirewallRuleState FindFirewallRule(const std::string&) {
    return FirewallRuleState::kNotApplicable;
}

}  // namespace os
