// Passes the services' events on to whoever runs the job, and lets each address BOOTP
// gives become the link's peer: while BOOTP serves the job, only a board it gave an
// address is taken for the board, never a board programmed earlier or another host.
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
    void OnAdapterChanged(const net::AdapterChange& change) override;
    void OnTransferStarted(const os::SocketAddress& client, const std::string& fileName,
                           std::uint32_t bytes) override;
    void OnTransferFinished(const os::SocketAddress& client, std::uint32_t bytes) override;

  private:
    net::CUdpServer& link_;
    net::ServiceEvents* const next_;
    net::CTftp* tftp_ = nullptr;
};

}  // namespace device
