#include "net/CBootPSystemPlatform.h"

#include "os/arp_table.h"
#include "os/clock.h"

namespace net {

CBootPSystemPlatform& CBootPSystemPlatform::Instance() {
    static CBootPSystemPlatform platform;
    return platform;
}

std::uint32_t CBootPSystemPlatform::TickCountMs() {
    return os::TickCountMs();
}

std::uint32_t CBootPSystemPlatform::NumberOfInterfaces(std::uint32_t& count) {
    return os::NumberOfInterfaces(count);
}

std::uint32_t CBootPSystemPlatform::ListAdapters(std::uint32_t roomInRecords,
                                                 std::vector<os::AdapterInfo>& adapters,
                                                 std::uint32_t& neededRecords) {
    return os::ListAdapters(roomInRecords, adapters, neededRecords);
}

int CBootPSystemPlatform::LastSystemError() {
    return os::LastSystemError();
}

int CBootPSystemPlatform::HostName(char* buffer, int size) {
    return os::HostName(buffer, size);
}

std::uint32_t CBootPSystemPlatform::ReadArpTable(std::uint8_t* buffer, std::uint32_t capacity) {
    return os::ReadArpTable(buffer, capacity);
}

bool CBootPSystemPlatform::BindServerSocket(os::UdpSocket& socket, const os::AdapterInfo& adapter,
                                            std::uint32_t addressNetworkOrder, std::uint16_t port) {
    return os::BindToAdapter(socket, adapter, addressNetworkOrder, port);
}

int CBootPSystemPlatform::SendReply(os::UdpSocket& socket, const std::uint8_t* data, int length,
                                    const os::SocketAddress& to) {
    return socket.SendTo(data, length, to);
}

}  // namespace net
