// Test support: a UDP port for a service that the code under test binds itself.
#pragma once

#include <cstdint>
#include <random>

#include "os/udp_socket.h"

namespace testsupport {

// A port that was free a moment ago and that no socket bound to port 0 can be given
// before the service binds it: it lies below the ephemeral ranges of Linux
// (32768-60999) and Windows (49152-65535). A port from those ranges, once released,
// could go to the next socket the test binds (its board, say) before the service
// took it, and the service would then find its port in use.
inline std::uint16_t UnusedUdpPort() {
    constexpr int kFirst = 20000;
    constexpr int kCount = 12000;
    thread_local std::mt19937 pick{std::random_device{}()};
    const int start = static_cast<int>(pick() % kCount);
    for (int i = 0; i < kCount; ++i) {
        const auto port = static_cast<std::uint16_t>(kFirst + (start + i) % kCount);
        os::UdpSocket probe;
        if (probe.Open() && probe.Bind(0, port)) return port;
    }
    return 0;
}

}  // namespace testsupport
