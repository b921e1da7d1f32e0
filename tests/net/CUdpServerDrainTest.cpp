// A wake-up of the receive thread that finds nothing pending must not eat a datagram
// arriving at that moment. The moment is made to happen: this program's own ioctl
// stands in for the system's, and when the server asks how much is pending it takes
// the empty datagram that woke the server (so nothing is pending, as after a spurious
// wake-up) and lets the board's real datagram arrive before answering 0.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>

#include "net/CUdpServer.h"
#include "tests/support/LoopbackBoard.h"

namespace {

// The server's socket, by its port; 0 while nothing is to be staged.
std::atomic<std::uint16_t> stagedPort{0};
std::atomic<int> stagedBoardSocket{-1};
std::atomic<bool> staged{false};
constexpr std::size_t kRealDatagramSize = 200;

std::uint16_t LocalPortOf(int fd) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
}

// Between the server's question and its answer: the empty datagram goes, the real one
// comes.
void StageArrival(int fd) {
    char discard[1];
    recv(fd, discard, 0, MSG_DONTWAIT);
    const std::uint8_t datagram[kRealDatagramSize] = {};
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(stagedPort.load());
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(stagedBoardSocket.load(), datagram, sizeof datagram, 0,
           reinterpret_cast<const sockaddr*>(&server), sizeof server);
    staged = true;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    using Ioctl = int (*)(int, unsigned long, ...);
    static const auto system = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
    if (request == FIONREAD && stagedPort.load() != 0 && !staged.load() &&
        LocalPortOf(fd) == stagedPort.load()) {
        StageArrival(fd);
        *static_cast<int*>(argument) = 0;
        return 0;
    }
    return system(fd, request, argument);
}

namespace net {
namespace {

TEST(UdpServerDrain, DatagramArrivingWhileAWakeUpFindsNothingPendingIsReceivedWhole) {
    LogCapture log;
    CUdpServer server;
    server.SetPort(0);
    ASSERT_TRUE(server.Start());
    const std::uint16_t port = server.LocalAddress().port;
    TestBoard board;
    board.SendTo(port, 0);
    ASSERT_TRUE(WaitUntil([&] { return server.Stats().rxDatagrams == 1; }));
    Bytes taken(kBoardDatagramSize);
    int length = static_cast<int>(taken.size());
    ASSERT_TRUE(server.Receive(taken.data(), length));

    // The board's socket, for the stand-in to send from.
    os::UdpSocket sender;
    ASSERT_TRUE(sender.Open());
    stagedBoardSocket = static_cast<int>(sender.NativeHandle());
    stagedPort = port;
    board.SendRaw(port, {});  // an empty datagram wakes the server
    // A server that never asks what is pending takes the empty one by itself; the real
    // datagram then comes after it.
    ASSERT_TRUE(WaitUntil([&] { return staged.load() || server.Stats().emptyReads > 0; }));
    if (!staged.exchange(true)) board.SendRaw(port, Bytes(kRealDatagramSize));
    stagedPort = 0;

    EXPECT_TRUE(WaitUntil([&] { return server.Stats().rxDatagrams == 2; }))
        << "the real datagram was eaten";
    Bytes received(kMaxDatagramSize);
    length = static_cast<int>(received.size());
    ASSERT_TRUE(WaitUntil([&] {
        length = static_cast<int>(received.size());
        return server.Receive(received.data(), length);
    }));
    EXPECT_EQ(length, static_cast<int>(kRealDatagramSize));
    EXPECT_EQ(server.Stats().rxErrors, 0u);
}

}  // namespace
}  // namespace net
