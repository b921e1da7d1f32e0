// An IPv4 endpoint: the address as it travels on the wire (network byte order) and
// the port in host order. Plain data, so it copies whole; Pack() folds it into one
// 64-bit value for threads that share the latest peer through a std::atomic.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace os {

struct SocketAddress {
    std::uint32_t addressNetworkOrder = 0;
    std::uint16_t port = 0;

    static constexpr int kPortBits = 16;

    constexpr std::uint64_t Pack() const {
        return (static_cast<std::uint64_t>(addressNetworkOrder) << kPortBits) | port;
    }

    static constexpr SocketAddress Unpack(std::uint64_t packed) {
        return {static_cast<std::uint32_t>(packed >> kPortBits),
                static_cast<std::uint16_t>(packed)};
    }

    // "a.b.c.d:port".
    std::string ToString() const {
        std::uint8_t octets[sizeof addressNetworkOrder];
        std::memcpy(octets, &addressNetworkOrder, sizeof octets);  // wire order in memory
        return std::to_string(octets[0]) + '.' + std::to_string(octets[1]) + '.' +
               std::to_string(octets[2]) + '.' + std::to_string(octets[3]) + ':' +
               std::to_string(port);
    }

    friend constexpr bool operator==(const SocketAddress&, const SocketAddress&) = default;
};

}  // namespace os
