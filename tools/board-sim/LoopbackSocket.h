// A non-blocking UDP socket on a port the system picks: the simulated board's link
// and TFTP socket, bound to 127.0.0.1 (so it reaches nothing but this machine) or, in the board
// mode inside a namespace, to the address BOOTP gave it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace board_sim {

struct ReceivedDatagram {
    std::size_t size = 0;  // its real length, even when longer than the buffer
    std::uint32_t fromAddressNetworkOrder = 0;
    std::uint16_t fromPort = 0;
};

class LoopbackSocket {
  public:
    LoopbackSocket() = default;
    ~LoopbackSocket();
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    // False with Error() set when the socket cannot be made.
    // Binds `addressNetworkOrder`: 127.0.0.1 unless the board mode has an address of
    // its own from BOOTP, inside its network namespace.
    bool Open(std::uint32_t addressNetworkOrder);
    std::uint16_t LocalPort() const { return localPort_; }
    int Descriptor() const { return descriptor_; }

    bool SendTo(std::span<const std::uint8_t> datagram, std::uint32_t addressNetworkOrder,
                std::uint16_t port);
    // The next waiting datagram, or nothing when none is waiting (or on an error).
    std::optional<ReceivedDatagram> Receive(std::span<std::uint8_t> buffer);

    const std::string& Error() const { return error_; }

  private:
    bool Fail(const char* call);

    int descriptor_ = -1;
    std::uint16_t localPort_ = 0;
    std::string error_;
};

}  // namespace board_sim
