// The computer's network adapters, as the BOOTP server needs them: one record per
// adapter (loopback excluded), in the order the platform lists them. Windows asks
// IP Helper; Linux reads getifaddrs. All functions are thread-safe.
#pragma once

#include <cstdint>
#include <vector>

#include "os/udp_socket.h"

namespace os {

// The platform's result codes for the adapter queries (Windows system error codes).
constexpr std::uint32_t kErrorNotSupported = 50;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorBufferOverflow = 111;
constexpr std::uint32_t kErrorNoData = 232;

constexpr std::size_t kAdapterNameSize = 260;
constexpr std::size_t kAdapterDescriptionSize = 132;
constexpr std::size_t kAdapterHardwareAddressSize = 8;
constexpr std::size_t kAdapterAddressTextSize = 16;

struct AdapterInfo {
    char name[kAdapterNameSize] = "";  // Linux: the device name, as SO_BINDTODEVICE takes it
    char description[kAdapterDescriptionSize] = "";
    std::uint8_t hardwareAddress[kAdapterHardwareAddressSize] = {};
    std::uint32_t hardwareAddressLength = 0;
    std::uint32_t index = 0;                              // the index the ARP table's entries carry
    char ipAddress[kAdapterAddressTextSize] = "0.0.0.0";  // its first IPv4 address, dotted
};

// The number of interfaces, loopback included, into `count`; 0 or the error code.
// Wine answers 0 interfaces, so callers must not trust it as the adapter count.
std::uint32_t NumberOfInterfaces(std::uint32_t& count);

// The adapter list, offering room for `roomInRecords` records as GetAdaptersInfo
// does. 0 with `adapters` filled; kErrorBufferOverflow with `neededRecords` set to
// the room the platform asks for; kErrorNoData when there is no adapter; another
// code on other failures. `adapters` is filled only on 0.
std::uint32_t ListAdapters(std::uint32_t roomInRecords, std::vector<AdapterInfo>& adapters,
                           std::uint32_t& neededRecords);

// The calling thread's last system error (GetLastError, errno).
int LastSystemError();

// The computer's host name, cut to fit; 0 or -1 as gethostname.
int HostName(char* buffer, int size);

// Binds `socket` for the server of one adapter. Windows: to the adapter's address.
// Linux: to 0.0.0.0 on the adapter's device (SO_BINDTODEVICE), since a socket bound
// to a unicast address there never receives broadcasts. The socket's last error
// says why on failure.
bool BindToAdapter(UdpSocket& socket, const AdapterInfo& adapter, std::uint32_t addressNetworkOrder,
                   std::uint16_t port);

}  // namespace os
