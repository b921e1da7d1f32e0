// Passes the services' events on to whoever runs the job, and lets each address BOOTP
// gives become the link's peer: once a board of this job has its address, datagrams
// from elsewhere (a board programmed earlier, another host) are never taken for it.
#pragma once

#include "net/CTftp.h"
#include "net/CUdpServer.h"
#include "net/ServiceEvents.h"

namespace device {

class PeerGrants : public net::ServiceEvents {
  public:
    // Neither is owned; `next` may be null.
    PeerGrants(net::CUdpServer& link, net::ServiceEvents* next) : link_(link), next_(next) {}
    // The TFTP server serves each address given first (not owned; set before BOOTP runs).
    void SetTftp(net::CTftp* tftp) { tftp_ = tftp; }

    void OnAddressGiven(const net::AddressGiven& given) override;
    void OnTransferStarted(const os::SocketAddress& client, const std::string& fileName,
                           std::uint32_t bytes) override;
    void OnTransferFinished(const os::SocketAddress& client, std::uint32_t bytes) override;

  private:
    net::CUdpServer& link_;
    net::ServiceEvents* const next_;
    net::CTftp* tftp_ = nullptr;
};

}  // namespace device
