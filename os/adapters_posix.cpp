#include "os/adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>

#include "os/fixed_text.h"

namespace os {
namespace {

AdapterInfo* FindOrAdd(std::vector<AdapterInfo>& adapters, const char* name) {
    for (AdapterInfo& adapter : adapters) {
        if (std::strcmp(adapter.name, name) == 0) return &adapter;
    }
    AdapterInfo& added = adapters.emplace_back();
    CopyText(added.name, name);
    CopyText(added.description, name);
    added.index = if_nametoindex(name);
    return &added;
}

void TakeHardwareAddress(AdapterInfo& adapter, const ifaddrs& entry) {
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry.ifa_addr);
    const std::size_t length =
        std::min<std::size_t>(link->sll_halen, sizeof adapter.hardwareAddress);
    std::memcpy(adapter.hardwareAddress, link->sll_addr, length);
    adapter.hardwareAddressLength = static_cast<std::uint32_t>(length);
    adapter.index = static_cast<std::uint32_t>(link->sll_ifindex);
}

// Only the first IPv4 address counts, as on Windows.
void TakeIpv4Address(AdapterInfo& adapter, const ifaddrs& entry, std::vector<bool>& hasAddress,
                     std::size_t position) {
    if (hasAddress[position]) return;
    const auto* inet = reinterpret_cast<const sockaddr_in*>(entry.ifa_addr);
    char text[INET_ADDRSTRLEN] = "";
    if (inet_ntop(AF_INET, &inet->sin_addr, text, sizeof text) == nullptr) return;
    CopyText(adapter.ipAddress, text);
    hasAddress[position] = true;
}

// Every interface but loopback, like GetAdaptersInfo; one without an IPv4 address
// is listed with 0.0.0.0.
std::uint32_t CollectAdapters(std::vector<AdapterInfo>& adapters) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return kErrorNotSupported;
    std::vector<bool> hasAddress;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        const int family = entry->ifa_addr->sa_family;
        if (family != AF_PACKET && family != AF_INET) continue;
        AdapterInfo* adapter = FindOrAdd(adapters, entry->ifa_name);
        hasAddress.resize(adapters.size(), false);
        const auto position = static_cast<std::size_t>(adapter - adapters.data());
        if (family == AF_PACKET) {
            TakeHardwareAddress(*adapter, *entry);
        } else {
            TakeIpv4Address(*adapter, *entry, hasAddress, position);
        }
    }
    freeifaddrs(list);
    return 0;
}

}  // namespace

std::uint32_t NumberOfInterfaces(std::uint32_t& count) {
    struct if_nameindex* names = if_nameindex();
    if (names == nullptr) return kErrorNotSupported;
    std::uint32_t found = 0;
    for (const struct if_nameindex* name = names; name->if_index != 0; ++name)
        ++found;
    if_freenameindex(names);
    count = found;
    return 0;
}

std::uint32_t ListAdapters(std::uint32_t roomInRecords, std::vector<AdapterInfo>& adapters,
                           std::uint32_t& neededRecords) {
    std::vector<AdapterInfo> found;
    const std::uint32_t error = CollectAdapters(found);
    if (error != 0) return error;
    if (found.empty()) return kErrorNoData;
    if (found.size() > roomInRecords) {
        neededRecords = static_cast<std::uint32_t>(found.size());
        return kErrorBufferOverflow;
    }
    adapters = std::move(found);
    return 0;
}

int LastSystemError() {
    return errno;
}

int HostName(char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return -1;
    if (gethostname(buffer, static_cast<std::size_t>(size)) != 0) return -1;
    buffer[size - 1] = '\0';
    return 0;
}

bool BindToAdapter(UdpSocket& socket, const AdapterInfo& adapter, std::uint32_t,
                   std::uint16_t port) {
    return socket.BindToDevice(adapter.name) && socket.Bind(0, port);
}

}  // namespace os
