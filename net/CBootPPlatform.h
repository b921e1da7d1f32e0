// What CBootP asks of the computer, behind one interface so that its request
// handling runs in tests over injected adapters, ARP tables, a fake tick count and a
// recorded send, with no socket. Called from the device's thread and every interface
// thread at once: implementations must be thread-safe.
#pragma once

#include <cstdint>
#include <vector>

#include "os/adapters.h"
#include "os/socket_address.h"
#include "os/udp_socket.h"

namespace net {

class CBootPPlatform {
  public:
    virtual ~CBootPPlatform() = default;

    // Milliseconds, wrapping at 2^32 (GetTickCount).
    virtual std::uint32_t TickCountMs() = 0;
    // As os::NumberOfInterfaces, os::ListAdapters, os::LastSystemError, os::HostName.
    virtual std::uint32_t NumberOfInterfaces(std::uint32_t& count) = 0;
    virtual std::uint32_t ListAdapters(std::uint32_t roomInRecords,
                                       std::vector<os::AdapterInfo>& adapters,
                                       std::uint32_t& neededRecords) = 0;
    virtual int LastSystemError() = 0;
    virtual int HostName(char* buffer, int size) = 0;
    // As os::ReadArpTable.
    virtual std::uint32_t ReadArpTable(std::uint8_t* buffer, std::uint32_t capacity) = 0;
    // Binds an interface's open socket to port `port` of its adapter, as
    // os::BindToAdapter; the socket's last error says why not.
    virtual bool BindServerSocket(os::UdpSocket& socket, const os::AdapterInfo& adapter,
                                  std::uint32_t addressNetworkOrder, std::uint16_t port) = 0;
    // Sends one reply on the interface's socket: bytes sent, or -1 with the thread's
    // last socket error set.
    virtual int SendReply(os::UdpSocket& socket, const std::uint8_t* data, int length,
                          const os::SocketAddress& to) = 0;
};

}  // namespace net
