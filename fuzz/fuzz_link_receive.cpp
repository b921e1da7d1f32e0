// The link's receive path after the socket: the peer rule and the acknowledgements,
// for datagrams from five loopback hosts while messages wait to be sent. The server
// runs, so its send thread answers the acknowledgements; it sends only to sockets of
// this program. Properties: the peer's address never changes once set, only its
// datagrams count as received, and at most one datagram is ever unacknowledged.
#include <array>
#include <memory>
#include <vector>

#include "diag/CLog.h"
#include "fuzz/FuzzReader.h"
#include "net/CUdpServer.h"
#include "os/inet_addr.h"
#include "os/udp_socket.h"

namespace {

constexpr int kHosts = 5;
constexpr int kMaxQueued = 8;

// Small queues: a megabyte each, made afresh for every input, would cost more than
// the rest of the run.
constexpr int kSmallQueueCapacity = 16384;

class Server final : public net::CUdpServer {
  public:
    Server() : CUdpServer(kSmallQueueCapacity) {}
    using CUdpServer::HandleDatagram;
};

// Where the hosts' datagrams come from: sockets of this program on 127.0.0.1..5, so
// that what the server sends back reaches nobody else.
std::array<os::SocketAddress, kHosts>& Hosts() {
    static std::array<os::UdpSocket, kHosts> sockets;
    static std::array<os::SocketAddress, kHosts> hosts = [] {
        std::array<os::SocketAddress, kHosts> made{};
        for (int i = 0; i < kHosts; ++i) {
            const std::string address = "127.0.0." + std::to_string(i + 1);
            sockets[i].Open();
            sockets[i].Bind(os::InetAddr(address.c_str()), 0);
            sockets[i].SetNonBlocking(true);
            made[i] = {os::InetAddr(address.c_str()), sockets[i].LocalPort()};
        }
        return made;
    }();
    return hosts;
}

}  // namespace

// A small quarantine lets each input's server reuse the pages of the one before.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    diag::theLog.SetConsole(nullptr);
    Hosts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzReader input(data, size);
    Server server;
    server.SetPort(0);
    if (!server.Start()) return 0;
    const int queued = input.U8() % (kMaxQueued + 1);
    for (int k = 0; k < queued; ++k) {
        const auto message = input.Bytes(1 + input.U8());
        int length = static_cast<int>(message.size());
        if (length > 0) server.Send(message.data(), length);
    }
    int fromPeer = 0;
    int fromOthers = 0;
    std::uint32_t peerAddress = 0;
    while (!input.Empty()) {
        const os::SocketAddress& from = Hosts()[input.U8() % kHosts];
        const auto datagram = input.Bytes(input.U16() % net::kMaxDatagramSize);
        if (fromPeer == 0) peerAddress = from.addressNetworkOrder;
        (from.addressNetworkOrder == peerAddress ? fromPeer : fromOthers) += 1;
        server.HandleDatagram(datagram.data(), static_cast<int>(datagram.size()), from);
        FUZZ_CHECK(server.PeerAddress().addressNetworkOrder == peerAddress);
        const std::uint32_t unacknowledged = server.LastSentSeq() - server.LastAckSeq();
        FUZZ_CHECK(unacknowledged <= 1);
    }
    FUZZ_CHECK(server.Stats().rxDatagrams == static_cast<std::uint32_t>(fromPeer));
    FUZZ_CHECK(server.Stats().foreignDatagrams == static_cast<std::uint32_t>(fromOthers));
    server.Stop();
    return 0;
}
