// The sockets of a board that has no address yet: a UDP socket bound to 0.0.0.0:68
// on its interface that may broadcast its requests, and a packet socket on the same
// interface that sees the server's reply to x.y.z.255:68, which the IP layer of an
// interface without an address would drop (DHCP clients read it the same way).
// Linux only; needs CAP_NET_RAW.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/board-sim/BootpExchange.h"
#include "tools/board-sim/PollLoop.h"

namespace board_sim {

struct ReceivedReply {
    std::vector<std::uint8_t> payload;  // the UDP payload
    std::uint32_t sourceAddressNetworkOrder = 0;
    std::uint16_t sourcePort = 0;
    std::uint32_t destinationAddressNetworkOrder = 0;
    std::uint16_t destinationPort = 0;
};

class BootpSockets {
  public:
    BootpSockets() = default;
    ~BootpSockets();
    BootpSockets(const BootpSockets&) = delete;
    BootpSockets& operator=(const BootpSockets&) = delete;

    // False with Error() set when the interface or a socket cannot be had.
    bool Open(const std::string& interfaceName);
    // The interface's own hardware address, once open.
    const MacAddress& InterfaceMac() const { return interfaceMac_; }

    // One request to 255.255.255.255:67.
    bool Broadcast(std::span<const std::uint8_t> request);
    // The next UDP datagram from port 67 to port 68 seen on the interface, waiting
    // until `until` at most; nothing when none came or the loop ended.
    std::optional<ReceivedReply> Receive(const PollLoop& loop, PollLoop::Clock::time_point until);

    const std::string& Error() const { return error_; }

  private:
    bool Fail(const std::string& what);
    bool OpenSender(const std::string& interfaceName);
    bool OpenReceiver();
    std::optional<ReceivedReply> Parse(std::span<const std::uint8_t> packet) const;

    int sender_ = -1;
    int receiver_ = -1;
    int interfaceIndex_ = 0;
    MacAddress interfaceMac_{};
    std::string error_;
};

}  // namespace board_sim
