// Test support for the os tests: non-blocking sockets on 127.0.0.1, each with a port of
// the system's choosing, so that no two tests share one.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "os/inet_addr.h"
#include "os/udp_socket.h"

namespace os {

// How long a test gives a datagram sent on loopback to arrive.
constexpr std::uint32_t kArrivalTimeoutMs = 2000;

inline std::uint32_t Loopback() {
    return InetAddr("127.0.0.1");
}

inline UdpSocket OpenLoopbackSocket() {
    UdpSocket socket;
    EXPECT_TRUE(socket.Open());
    EXPECT_TRUE(socket.Bind(Loopback(), 0)) << socket.LastError();
    EXPECT_TRUE(socket.SetNonBlocking(true));
    return socket;
}

}  // namespace os
