// The real computer behind CBootP: the platform layer's clock, adapters, ARP table
// and sockets. Stateless, so one instance serves every server and thread.
#pragma once

#include "net/CBootPPlatform.h"

namespace net {

class CBootPSystemPlatform final : public CBootPPlatform {
  public:
    static CBootPSystemPlatform& Instance();

    std::uint32_t TickCountMs() override;
    std::uint32_t NumberOfInterfaces(std::uint32_t& count) override;
    std::uint32_t ListAdapters(std::uint32_t roomInRecords, std::vector<os::AdapterInfo>& adapters,
                               std::uint32_t& neededRecords) override;
    int LastSystemError() override;
    int HostName(char* buffer, int size) override;
    std::uint32_t ReadArpTable(std::uint8_t* buffer, std::uint32_t capacity) override;
    bool BindServerSocket(os::UdpSocket& socket, const os::AdapterInfo& adapter,
                          std::uint32_t addressNetworkOrder, std::uint16_t port) override;
    int SendReply(os::UdpSocket& socket, const std::uint8_t* data, int length,
                  const os::SocketAddress& to) override;
};

}  // namespace net
