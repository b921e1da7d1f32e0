#include "os/udp_socket.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "os/clock.h"
#include "os/inet_addr.h"
#include "os/socket_address.h"
#include "os/wsa_errors.h"
#include "tests/os/LoopbackSocket.h"

namespace os {
namespace {

SocketAddress AddressOf(const UdpSocket& socket) {
    return {Loopback(), socket.LocalPort()};
}

// Receives from a non-blocking socket, giving a datagram in flight time to arrive.
int ReceiveWithin(UdpSocket& socket, void* buffer, int capacity, SocketAddress* from) {
    const std::uint32_t start = TickCountMs();
    for (;;) {
        const int received = socket.ReceiveFrom(buffer, capacity, from);
        if (received >= 0 || socket.LastError() != kWsaEWouldBlock) return received;
        if (TickCountMs() - start > kArrivalTimeoutMs) return received;
        SleepMs(1);
    }
}

std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return bytes;
}

TEST(SocketAddress, ToStringGivesDottedAddressAndPort) {
    EXPECT_EQ((SocketAddress{InetAddr("192.168.1.20"), 5000}).ToString(), "192.168.1.20:5000");
    EXPECT_EQ((SocketAddress{InetAddr("10.0.0.255"), 65535}).ToString(), "10.0.0.255:65535");
    EXPECT_EQ(SocketAddress{}.ToString(), "0.0.0.0:0");
}

TEST(SocketAddress, UnpackRestoresWhatPackFolded) {
    const SocketAddress samples[] = {
        {InetAddr("127.0.0.1"), 69}, {0xFFFFFFFFu, 65535}, {0, 0}, {InetAddr("1.2.3.4"), 0}};
    for (const SocketAddress& sample : samples) {
        EXPECT_EQ(SocketAddress::Unpack(sample.Pack()), sample) << sample.ToString();
    }
    EXPECT_NE((SocketAddress{1, 2}).Pack(), (SocketAddress{2, 1}).Pack());
}

TEST(UdpSocket, RoundTripDeliversTheBytesAndTheSenderAddress) {
    UdpSocket receiver = OpenLoopbackSocket();
    UdpSocket sender = OpenLoopbackSocket();
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{548}, std::size_t{1472}}) {
        const std::vector<std::uint8_t> sent = Pattern(size);
        ASSERT_EQ(sender.SendTo(sent.data(), static_cast<int>(size), AddressOf(receiver)),
                  static_cast<int>(size))
            << sender.LastError();
        std::vector<std::uint8_t> received(2048, 0xEE);
        SocketAddress from;
        const int length = ReceiveWithin(receiver, received.data(), 2048, &from);
        ASSERT_EQ(length, static_cast<int>(size)) << receiver.LastError();
        received.resize(size);
        EXPECT_EQ(received, sent);
        EXPECT_EQ(from, AddressOf(sender));
    }
}

TEST(UdpSocket, BytesPendingGivesTheSizeOfAQueuedDatagram) {
    UdpSocket receiver = OpenLoopbackSocket();
    UdpSocket sender = OpenLoopbackSocket();
    EXPECT_EQ(receiver.BytesPending(), 0);
    const std::vector<std::uint8_t> sent = Pattern(37);
    ASSERT_EQ(sender.SendTo(sent.data(), 37, AddressOf(receiver)), 37);
    const std::uint32_t start = TickCountMs();
    while (receiver.BytesPending() == 0 && TickCountMs() - start < kArrivalTimeoutMs)
        SleepMs(1);
    EXPECT_EQ(receiver.BytesPending(), 37);
    std::uint8_t buffer[64];
    ASSERT_EQ(receiver.ReceiveFrom(buffer, sizeof buffer, nullptr), 37);
    EXPECT_EQ(receiver.BytesPending(), 0);
}

TEST(UdpSocket, EmptyNonBlockingReceiveFailsWithWouldBlock) {
    UdpSocket receiver = OpenLoopbackSocket();
    std::uint8_t buffer[16];
    SocketAddress from{1, 1};
    EXPECT_EQ(receiver.ReceiveFrom(buffer, sizeof buffer, &from), -1);
    EXPECT_EQ(receiver.LastError(), kWsaEWouldBlock);
    EXPECT_EQ(LastSocketError(), kWsaEWouldBlock);
    EXPECT_EQ(from, (SocketAddress{1, 1})) << "the sender is set only for a datagram";
}

TEST(UdpSocket, OversizedDatagramFailsWithMessageSizeAndTheNextOneArrivesWhole) {
    UdpSocket receiver = OpenLoopbackSocket();
    UdpSocket sender = OpenLoopbackSocket();
    const std::vector<std::uint8_t> large = Pattern(100);
    const std::uint8_t small[] = {9, 8, 7};
    ASSERT_EQ(sender.SendTo(large.data(), 100, AddressOf(receiver)), 100);
    ASSERT_EQ(sender.SendTo(small, 3, AddressOf(receiver)), 3);

    std::uint8_t buffer[10] = {};
    EXPECT_EQ(ReceiveWithin(receiver, buffer, sizeof buffer, nullptr), -1);
    EXPECT_EQ(receiver.LastError(), kWsaEMsgSize);
    EXPECT_EQ(LastSocketError(), kWsaEMsgSize);

    ASSERT_EQ(ReceiveWithin(receiver, buffer, sizeof buffer, nullptr), 3) << receiver.LastError();
    EXPECT_THAT(std::vector<std::uint8_t>(buffer, buffer + 3), testing::ElementsAre(9, 8, 7));
}

TEST(UdpSocket, BindingAPortAnotherSocketHoldsFailsWithAddressInUse) {
    UdpSocket first = OpenLoopbackSocket();
    UdpSocket second;
    ASSERT_TRUE(second.Open());
    EXPECT_FALSE(second.Bind(Loopback(), first.LocalPort()));
    EXPECT_EQ(second.LastError(), kWsaEAddrInUse);
    EXPECT_EQ(LastSocketError(), kWsaEAddrInUse);
}

TEST(UdpSocket, EachSocketKeepsTheCodeOfItsOwnLastFailure) {
    UdpSocket idle = OpenLoopbackSocket();
    std::uint8_t buffer[4];
    ASSERT_EQ(idle.ReceiveFrom(buffer, sizeof buffer, nullptr), -1);
    UdpSocket clash;
    ASSERT_TRUE(clash.Open());
    ASSERT_FALSE(clash.Bind(Loopback(), idle.LocalPort()));
    EXPECT_EQ(idle.LastError(), kWsaEWouldBlock);
    EXPECT_EQ(clash.LastError(), kWsaEAddrInUse);
    EXPECT_EQ(LastSocketError(), kWsaEAddrInUse);
}

void ExpectEveryCallFailsWithNotSocket(UdpSocket& socket) {
    const std::uint8_t data[4] = {};
    std::uint8_t buffer[4];
    const SocketAddress anywhere{Loopback(), 9};
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_EQ(socket.SendTo(data, sizeof data, anywhere), -1);
    EXPECT_EQ(socket.LastError(), kWsaENotSock);
    EXPECT_EQ(LastSocketError(), kWsaENotSock);
    SetLastSocketError(0);
    EXPECT_EQ(socket.ReceiveFrom(buffer, sizeof buffer, nullptr), -1);
    EXPECT_EQ(LastSocketError(), kWsaENotSock);
    SetLastSocketError(0);
    EXPECT_EQ(socket.BytesPending(), -1);
    EXPECT_EQ(LastSocketError(), kWsaENotSock);
    SetLastSocketError(0);
    EXPECT_FALSE(socket.Bind(Loopback(), 0));
    EXPECT_EQ(LastSocketError(), kWsaENotSock);
    SetLastSocketError(0);
    EXPECT_FALSE(socket.SetNonBlocking(true));
    EXPECT_EQ(LastSocketError(), kWsaENotSock);
    SetLastSocketError(0);
    EXPECT_FALSE(socket.SetBroadcast(true));
    EXPECT_EQ(LastSocketError(), kWsaENotSock);
    SetLastSocketError(0);
    EXPECT_FALSE(socket.SetDontRoute(true));
    EXPECT_EQ(LastSocketError(), kWsaENotSock);
    SetLastSocketError(0);
    EXPECT_FALSE(socket.BindToDevice("lo"));
    EXPECT_EQ(LastSocketError(), kWsaENotSock);
    EXPECT_EQ(socket.LocalPort(), 0);
}

TEST(UdpSocket, CallsWithoutAnOpenSocketFailWithNotSocket) {
    UdpSocket neverOpened;
    ExpectEveryCallFailsWithNotSocket(neverOpened);
    UdpSocket closed = OpenLoopbackSocket();
    closed.Close();
    ExpectEveryCallFailsWithNotSocket(closed);
    closed.Close();  // a second close is harmless
}

TEST(UdpSocket, InvalidBuffersAreRefusedBeforeTheSystemSeesThem) {
    UdpSocket socket = OpenLoopbackSocket();
    const SocketAddress self = AddressOf(socket);
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(socket.SendTo(buffer, -1, self), -1);
    EXPECT_EQ(socket.LastError(), kWsaEInval);
    EXPECT_EQ(socket.SendTo(nullptr, 4, self), -1);
    EXPECT_EQ(socket.LastError(), kWsaEFault);
    EXPECT_EQ(socket.ReceiveFrom(buffer, -5, nullptr), -1);
    EXPECT_EQ(socket.LastError(), kWsaEInval);
    EXPECT_EQ(socket.ReceiveFrom(nullptr, 4, nullptr), -1);
    EXPECT_EQ(socket.LastError(), kWsaEFault);
    EXPECT_EQ(socket.BytesPending(), 0) << "nothing was sent";
}

// A port is free again once its socket is gone, however it went.
TEST(UdpSocket, CloseReopenAndMoveAssignmentReleaseThePortTheyHeld) {
    UdpSocket socket = OpenLoopbackSocket();
    std::uint16_t port = socket.LocalPort();
    socket.Close();
    UdpSocket probe;
    ASSERT_TRUE(probe.Open());
    EXPECT_TRUE(probe.Bind(Loopback(), port)) << "after Close: " << probe.LastError();

    port = probe.LocalPort();
    ASSERT_TRUE(probe.Open());
    EXPECT_EQ(probe.LocalPort(), 0);
    EXPECT_TRUE(probe.Bind(Loopback(), port)) << "after a second Open: " << probe.LastError();

    port = probe.LocalPort();
    probe = OpenLoopbackSocket();
    UdpSocket last;
    ASSERT_TRUE(last.Open());
    EXPECT_TRUE(last.Bind(Loopback(), port)) << "after move assignment: " << last.LastError();
}

TEST(UdpSocket, MovedSocketKeepsItsPortAndTheSourceIsClosed) {
    UdpSocket original = OpenLoopbackSocket();
    const std::uint16_t port = original.LocalPort();
    UdpSocket moved(std::move(original));
    EXPECT_FALSE(original.IsOpen());  // NOLINT(bugprone-use-after-move)
    ASSERT_TRUE(moved.IsOpen());
    EXPECT_EQ(moved.LocalPort(), port);

    UdpSocket sender = OpenLoopbackSocket();
    const std::uint8_t data[] = {42};
    ASSERT_EQ(sender.SendTo(data, 1, AddressOf(moved)), 1);
    std::uint8_t buffer[4];
    EXPECT_EQ(ReceiveWithin(moved, buffer, sizeof buffer, nullptr), 1);
    EXPECT_EQ(buffer[0], 42);
}

TEST(UdpSocket, SocketWithOptionsSetStillReachesALoopbackPeer) {
    UdpSocket receiver = OpenLoopbackSocket();
    UdpSocket sender = OpenLoopbackSocket();
    EXPECT_TRUE(sender.SetBroadcast(true)) << sender.LastError();
    EXPECT_TRUE(sender.SetBroadcast(false)) << sender.LastError();
    EXPECT_TRUE(sender.SetDontRoute(true)) << sender.LastError();
    const std::uint8_t data[] = {1, 2};
    ASSERT_EQ(sender.SendTo(data, 2, AddressOf(receiver)), 2) << sender.LastError();
    std::uint8_t buffer[4];
    EXPECT_EQ(ReceiveWithin(receiver, buffer, sizeof buffer, nullptr), 2);
}

TEST(UdpSocket, BlockingReceiveWaitsForTheDatagram) {
    UdpSocket receiver = OpenLoopbackSocket();
    ASSERT_TRUE(receiver.SetNonBlocking(false));
    UdpSocket sender = OpenLoopbackSocket();
    const std::uint8_t data[] = {5, 6, 7, 8};
    ASSERT_EQ(sender.SendTo(data, 4, AddressOf(receiver)), 4);
    std::uint8_t buffer[8];
    EXPECT_EQ(receiver.ReceiveFrom(buffer, sizeof buffer, nullptr), 4) << receiver.LastError();
}

#ifdef _WIN32
TEST(UdpSocket, BindToDeviceIsANoOpOnWindows) {
    UdpSocket socket = OpenLoopbackSocket();
    EXPECT_TRUE(socket.BindToDevice("any name at all"));
}
#else
TEST(UdpSocket, BindToDeviceRefusesNamesTheKernelWouldCutShort) {
    UdpSocket socket;
    ASSERT_TRUE(socket.Open());
    EXPECT_FALSE(socket.BindToDevice("sixteen-chars-xx"));
    EXPECT_EQ(socket.LastError(), kWsaEInval);
    EXPECT_FALSE(socket.BindToDevice(nullptr));
    EXPECT_EQ(socket.LastError(), kWsaEInval);
}

TEST(UdpSocket, SocketBoundToTheLoopbackDeviceReceivesLoopbackTraffic) {
    UdpSocket receiver;
    ASSERT_TRUE(receiver.Open());
    if (!receiver.BindToDevice("lo")) {
        GTEST_SKIP() << "SO_BINDTODEVICE not permitted here, error " << receiver.LastError();
    }
    ASSERT_TRUE(receiver.Bind(Loopback(), 0));
    ASSERT_TRUE(receiver.SetNonBlocking(true));
    UdpSocket sender = OpenLoopbackSocket();
    const std::uint8_t data[] = {3};
    ASSERT_EQ(sender.SendTo(data, 1, AddressOf(receiver)), 1);
    std::uint8_t buffer[4];
    EXPECT_EQ(ReceiveWithin(receiver, buffer, sizeof buffer, nullptr), 1);
}
#endif

}  // namespace
}  // namespace os
