#include "device/PeerGrants.h"

#include "os/inet_addr.h"

namespace device {

void PeerGrants::OnAddressGiven(const net::AddressGiven& given) {
    const std::uint32_t address = os::InetAddr(given.address.c_str());
    if (address != os::kInaddrNone) {
        link_.AllowPeer(address);
        if (tftp_) tftp_->BoardAddressGiven(address);
    }
    if (next_) next_->OnAddressGiven(given);
}

void PeerGrants::OnAdapterChanged(const net::AdapterChange& change) {
    if (next_) next_->OnAdapterChanged(change);
}

void PeerGrants::OnTransferStarted(const os::SocketAddress& client, const std::string& fileName,
                                   std::uint32_t bytes) {
    if (next_) next_->OnTransferStarted(client, fileName, bytes);
}

void PeerGrants::OnTransferFinished(const os::SocketAddress& client, std::uint32_t bytes) {
    if (next_) next_->OnTransferFinished(client, bytes);
}

}  // namespace device
