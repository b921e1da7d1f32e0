#include "os/adapters.h"

#include <cstring>

#include "os/fixed_text.h"
#include "os/windows_headers.h"

namespace os {
namespace {

AdapterInfo FromNative(const IP_ADAPTER_INFO& native) {
    AdapterInfo adapter;
    CopyText(adapter.name, native.AdapterName);
    CopyText(adapter.description, native.Description);
    const std::size_t length = native.AddressLength < sizeof adapter.hardwareAddress
                                   ? native.AddressLength
                                   : sizeof adapter.hardwareAddress;
    std::memcpy(adapter.hardwareAddress, native.Address, length);
    adapter.hardwareAddressLength = static_cast<std::uint32_t>(length);
    adapter.index = native.Index;
    CopyText(adapter.ipAddress, native.IpAddressList.IpAddress.String);
    return adapter;
}

}  // namespace

std::uint32_t NumberOfInterfaces(std::uint32_t& count) {
    DWORD found = 0;
    const DWORD error = GetNumberOfInterfaces(&found);
    if (error == NO_ERROR) count = found;
    return error;
}

std::uint32_t ListAdapters(std::uint32_t roomInRecords, std::vector<AdapterInfo>& adapters,
                           std::uint32_t& neededRecords) {
    std::vector<IP_ADAPTER_INFO> room(roomInRecords);
    ULONG size = static_cast<ULONG>(room.size() * sizeof(IP_ADAPTER_INFO));
    const DWORD error = GetAdaptersInfo(room.empty() ? nullptr : room.data(), &size);
    if (error == ERROR_BUFFER_OVERFLOW) {
        neededRecords = static_cast<std::uint32_t>((size + sizeof(IP_ADAPTER_INFO) - 1) /
                                                   sizeof(IP_ADAPTER_INFO));
    }
    if (error != NO_ERROR) return error;
    std::vector<AdapterInfo> found;
    for (const IP_ADAPTER_INFO* native = room.data(); native != nullptr; native = native->Next)
        found.push_back(FromNative(*native));
    adapters = std::move(found);
    return 0;
}

int LastSystemError() {
    return static_cast<int>(GetLastError());
}

int HostName(char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return -1;
    // gethostname is a Windows Sockets call: it needs a start-up of its own.
    WSADATA winsock{};
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return -1;
    const int result = gethostname(buffer, size);
    WSACleanup();
    if (result == 0) buffer[size - 1] = '\0';
    return result == 0 ? 0 : -1;
}

bool BindToAdapter(UdpSocket& socket, const AdapterInfo&, std::uint32_t addressNetworkOrder,
                   std::uint16_t port) {
    return socket.Bind(addressNetworkOrder, port);
}

}  // namespace os
