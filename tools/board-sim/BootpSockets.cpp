#include "tools/board-sim/BootpSockets.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/board-sim/byte_fields.h"

namespace board_sim {
namespace {

constexpr std::size_t kPacketBufferSize = 2048;
// IPv4 and UDP header fields (RFC 791, RFC 768).
constexpr std::size_t kIpVersionLengthOffset = 0;
constexpr std::uint8_t kIpHeaderLengthMask = 0x0F;
constexpr std::size_t kIpHeaderWordSize = 4;
constexpr std::size_t kIpMinHeaderSize = 20;
constexpr std::size_t kIpProtocolOffset = 9;
constexpr std::size_t kIpSourceOffset = 12;
constexpr std::size_t kIpDestinationOffset = 16;
constexpr std::uint8_t kIpProtocolUdp = 17;
constexpr std::size_t kUdpSourcePortOffset = 0;
constexpr std::size_t kUdpDestinationPortOffset = 2;
constexpr std::size_t kUdpLengthOffset = 4;
constexpr std::size_t kUdpHeaderSize = 8;

std::uint32_t LoadAddress(const std::uint8_t* field) {
    std::uint32_t address = 0;
    std::memcpy(&address, field, sizeof address);
    return address;
}

}  // namespace

BootpSockets::~BootpSockets() {
    if (sender_ >= 0) close(sender_);
    if (receiver_ >= 0) close(receiver_);
}

bool BootpSockets::Fail(const std::string& what) {
    error_ = what + ": " + std::strerror(errno);
    return false;
}

bool BootpSockets::Open(const std::string& interfaceName) {
    interfaceIndex_ = static_cast<int>(if_nametoindex(interfaceName.c_str()));
    if (interfaceIndex_ == 0) return Fail("interface " + interfaceName);
    return OpenSender(interfaceName) && OpenReceiver();
}

bool BootpSockets::OpenSender(const std::string& interfaceName) {
    sender_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (sender_ < 0) return Fail("socket");
    if (setsockopt(sender_, SOL_SOCKET, SO_BINDTODEVICE, interfaceName.c_str(),
                   static_cast<socklen_t>(interfaceName.size() + 1)) != 0) {
        return Fail("SO_BINDTODEVICE " + interfaceName);
    }
    const int enable = 1;
    if (setsockopt(sender_, SOL_SOCKET, SO_BROADCAST, &enable, sizeof enable) != 0) {
        return Fail("SO_BROADCAST");
    }
    // A board that asks again shares the interface, and port 68, with the next board.
    if (setsockopt(sender_, SOL_SOCKET, SO_REUSEADDR, &enable, sizeof enable) != 0) {
        return Fail("SO_REUSEADDR");
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kBootpClientPort);
    if (bind(sender_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return Fail("bind 0.0.0.0:68");
    }
    ifreq request{};
    std::strncpy(request.ifr_name, interfaceName.c_str(), IFNAMSIZ - 1);
    if (ioctl(sender_, SIOCGIFHWADDR, &request) != 0) return Fail("SIOCGIFHWADDR");
    std::memcpy(interfaceMac_.data(), request.ifr_hwaddr.sa_data, interfaceMac_.size());
    return true;
}

bool BootpSockets::OpenReceiver() {
    receiver_ = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_IP));
    if (receiver_ < 0) return Fail("packet socket");
    sockaddr_ll link{};
    link.sll_family = AF_PACKET;
    link.sll_protocol = htons(ETH_P_IP);
    link.sll_ifindex = interfaceIndex_;
    if (bind(receiver_, reinterpret_cast<const sockaddr*>(&link), sizeof link) != 0) {
        return Fail("bind packet socket");
    }
    return true;
}

bool BootpSockets::Broadcast(std::span<const std::uint8_t> request) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    to.sin_port = htons(kBootpServerPort);
    const ssize_t sent = sendto(sender_, request.data(), request.size(), 0,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent == static_cast<ssize_t>(request.size())) return true;
    return Fail("sendto 255.255.255.255:67");
}

std::optional<ReceivedReply> BootpSockets::Receive(const PollLoop& loop,
                                                   PollLoop::Clock::time_point until) {
    std::vector<std::uint8_t> packet(kPacketBufferSize);
    while (loop.Running() && PollLoop::Clock::now() < until) {
        if (!loop.Wait(until, receiver_)) continue;
        sockaddr_ll from{};
        socklen_t fromLength = sizeof from;
        const ssize_t received = recvfrom(receiver_, packet.data(), packet.size(), 0,
                                          reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received <= 0 || from.sll_pkttype == PACKET_OUTGOING) continue;
        auto reply =
            Parse(std::span<const std::uint8_t>(packet).first(static_cast<std::size_t>(received)));
        if (reply) return reply;
    }
    return std::nullopt;
}

// An IPv4 packet carrying UDP from port 67 to port 68, lengths checked before use.
std::optional<ReceivedReply> BootpSockets::Parse(std::span<const std::uint8_t> packet) const {
    if (packet.size() < kIpMinHeaderSize) return std::nullopt;
    const std::size_t ipHeader =
        (packet[kIpVersionLengthOffset] & kIpHeaderLengthMask) * kIpHeaderWordSize;
    if (ipHeader < kIpMinHeaderSize || packet.size() < ipHeader + kUdpHeaderSize)
        return std::nullopt;
    if (packet[kIpProtocolOffset] != kIpProtocolUdp) return std::nullopt;
    const std::uint8_t* udp = packet.data() + ipHeader;
    ReceivedReply reply;
    reply.sourcePort = load_be16(udp + kUdpSourcePortOffset);
    reply.destinationPort = load_be16(udp + kUdpDestinationPortOffset);
    if (reply.sourcePort != kBootpServerPort || reply.destinationPort != kBootpClientPort) {
        return std::nullopt;
    }
    const std::size_t udpLength = load_be16(udp + kUdpLengthOffset);
    if (udpLength < kUdpHeaderSize || ipHeader + udpLength > packet.size()) return std::nullopt;
    reply.sourceAddressNetworkOrder = LoadAddress(packet.data() + kIpSourceOffset);
    reply.destinationAddressNetworkOrder = LoadAddress(packet.data() + kIpDestinationOffset);
    reply.payload.assign(udp + kUdpHeaderSize, udp + udpLength);
    return reply;
}

}  // namespace board_sim
