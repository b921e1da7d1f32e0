#include "tools/board-sim/LoopbackSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace board_sim {

LoopbackSocket::~LoopbackSocket() {
    if (descriptor_ >= 0) close(descriptor_);
}

bool LoopbackSocket::Fail(const char* call) {
    error_ = std::string(call) + ": " + std::strerror(errno);
    return false;
}

bool LoopbackSocket::Open(std::uint32_t addressNetworkOrder) {
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor_ < 0) return Fail("socket");
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = addressNetworkOrder;
    local.sin_port = 0;
    if (bind(descriptor_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return Fail("bind");
    }
    socklen_t length = sizeof local;
    if (getsockname(descriptor_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return Fail("getsockname");
    }
    localPort_ = ntohs(local.sin_port);
    return true;
}

bool LoopbackSocket::SendTo(std::span<const std::uint8_t> datagram,
                            std::uint32_t addressNetworkOrder, std::uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = addressNetworkOrder;
    to.sin_port = htons(port);
    const ssize_t sent = sendto(descriptor_, datagram.data(), datagram.size(), 0,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent == static_cast<ssize_t>(datagram.size())) return true;
    if (sent >= 0) errno = EMSGSIZE;
    return Fail("sendto");
}

std::optional<ReceivedDatagram> LoopbackSocket::Receive(std::span<std::uint8_t> buffer) {
    // MSG_TRUNC makes the kernel report the datagram's full length, so an oversized
    // one is seen as such rather than as a shorter one.
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t received = recvfrom(descriptor_, buffer.data(), buffer.size(), MSG_TRUNC,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK) Fail("recv");
        return std::nullopt;
    }
    ReceivedDatagram datagram;
    datagram.size = static_cast<std::size_t>(received);
    datagram.fromAddressNetworkOrder = from.sin_addr.s_addr;
    datagram.fromPort = ntohs(from.sin_port);
    return datagram;
}

}  // namespace board_sim
