// What the board-side services tell whoever runs them, as it happens: a board given
// its address, an adapter served or no longer served, a firmware transfer begun and
// finished. The services know nothing of
// how (or whether) this is shown.
//
// Raised on the services' own threads (one per BOOTP adapter, BOOTP's re-scan, the
// TFTP worker), so an
// implementation must be thread-safe and return at once. The defaults ignore all.
#pragma once

#include <cstdint>
#include <string>

#include "os/socket_address.h"

namespace net {

struct AddressGiven {
    std::string adapterName;
    std::string adapterAddress;             // dotted
    const std::uint8_t* hardwareAddress{};  // the request's chaddr
    int hardwareAddressLength = 0;          // its hlen, at most the 16 bytes of chaddr
    std::string address;                    // the address given, dotted
    bool fromArpTable = false;              // the ARP table held it, not the pool
};

// An adapter that BOOTP began to serve while running, or stopped serving.
struct AdapterChange {
    std::string adapterName;
    std::string adapterAddress;  // dotted: the address it is, or was, served with
    bool served = false;         // true: now served; false: no longer served
    std::string reason;          // why it is no longer served; empty when served
};

class ServiceEvents {
  public:
    virtual ~ServiceEvents() = default;

    // A BOOTP reply has been sent.
    virtual void OnAddressGiven(const AddressGiven& given) { static_cast<void>(given); }
    // Not for the adapters found when BOOTP starts, only for those that change later.
    virtual void OnAdapterChanged(const AdapterChange& change) { static_cast<void>(change); }
    // A read request was accepted; `bytes` of content will follow.
    virtual void OnTransferStarted(const os::SocketAddress& client, const std::string& fileName,
                                   std::uint32_t bytes) {
        static_cast<void>(client), static_cast<void>(fileName), static_cast<void>(bytes);
    }
    // The client acknowledged the last block.
    virtual void OnTransferFinished(const os::SocketAddress& client, std::uint32_t bytes) {
        static_cast<void>(client), static_cast<void>(bytes);
    }
};

}  // namespace net
