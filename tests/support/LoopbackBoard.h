// Test support: the board's side of the datagram link played on a loopback socket,
// and a capture of the process log.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "diag/CLog.h"
#include "net/CUdpServer.h"
#include "os/byte_order.h"
#include "os/clock.h"
#include "os/inet_addr.h"
#include "os/udp_socket.h"
#include "os/waiter.h"
#include "tests/support/LogCapture.h"

namespace net {

using Bytes = std::vector<std::uint8_t>;

constexpr int kBoardDatagramSize = 108;

// A message as the board receives it: `header` then `count` bytes of `data`. Sized up
// front, since growing a short vector by insert trips GCC 12's array-bounds analysis.
inline Bytes Message(std::initializer_list<std::uint8_t> header, const std::uint8_t* data,
                     std::size_t count) {
    Bytes message(header.size() + count);
    std::copy(header.begin(), header.end(), message.begin());
    std::copy(data, data + count, message.begin() + static_cast<std::ptrdiff_t>(header.size()));
    return message;
}

// Polls `condition` until it holds; false when `timeoutMs` passed first.
inline bool WaitUntil(const std::function<bool()>& condition, std::uint32_t timeoutMs = 2000) {
    const std::uint32_t start = os::TickCountMs();
    while (!condition()) {
        if (os::TickCountMs() - start > timeoutMs) return false;
        os::SleepMs(2);
    }
    return true;
}

struct Datagram {
    Bytes bytes;
    os::SocketAddress from;
    std::uint16_t Length() const { return os::load_le16(&bytes[kTransportLengthOffset]); }
    std::uint16_t Check() const { return os::load_le16(&bytes[kTransportCheckOffset]); }
    std::uint16_t Type() const { return os::load_le16(&bytes[kTransportTypeOffset]); }
    std::uint16_t Retries() const { return os::load_le16(&bytes[kTransportRetriesOffset]); }
    std::uint32_t Ack() const { return os::load_le32(&bytes[kTransportAckOffset]); }
    std::uint32_t Seq() const { return os::load_le32(&bytes[kTransportSeqOffset]); }
    Bytes Payload() const { return {bytes.begin() + kTransportHeaderSize, bytes.end()}; }
};

// The board's side of the link, played by the test on a loopback socket.
class TestBoard {
  public:
    explicit TestBoard(const char* address = "127.0.0.1") {
        EXPECT_TRUE(socket_.Open());
        EXPECT_TRUE(socket_.Bind(os::InetAddr(address), 0)) << socket_.LastError();
        EXPECT_TRUE(waiter_.Add(socket_));
    }

    void SendTo(std::uint16_t serverPort, std::uint32_t ack, int size = kBoardDatagramSize) {
        Bytes datagram(static_cast<std::size_t>(size), 0);
        if (size >= kBoardAckEnd) os::store_le32(&datagram[kBoardAckOffset], ack);
        SendRaw(serverPort, datagram);
    }

    void SendRaw(std::uint16_t serverPort, const Bytes& datagram) {
        const int size = static_cast<int>(datagram.size());
        const os::SocketAddress server{os::InetAddr("127.0.0.1"), serverPort};
        ASSERT_EQ(socket_.SendTo(datagram.data(), size, server), size) << socket_.LastError();
    }

    // The next datagram from the server, or nothing within `timeoutMs`.
    std::optional<Datagram> Receive(std::uint32_t timeoutMs = 1000) {
        const std::uint32_t start = os::TickCountMs();
        for (;;) {
            Bytes buffer(kMaxDatagramSize + 1);
            os::SocketAddress from;
            const int length =
                socket_.ReceiveFrom(buffer.data(), static_cast<int>(buffer.size()), &from);
            if (length > 0) {
                buffer.resize(static_cast<std::size_t>(length));
                return Datagram{buffer, from};
            }
            const std::uint32_t elapsed = os::TickCountMs() - start;
            if (elapsed >= timeoutMs) return std::nullopt;
            waiter_.Wait(timeoutMs - elapsed);
        }
    }

    // The next `count` new messages from the server, acknowledging each as a board
    // does; retransmissions are dropped. Fewer when the server goes quiet.
    std::vector<Bytes> ReceiveMessages(std::uint16_t serverPort, std::size_t count,
                                       std::uint32_t timeoutMs = 2000) {
        std::vector<Bytes> messages;
        while (messages.size() < count) {
            const auto datagram = Receive(timeoutMs);
            if (!datagram) break;
            const std::uint32_t seq = os::load_le32(&datagram->bytes[kTransportSeqOffset]);
            if (seq != lastSeq_) {
                messages.emplace_back(datagram->bytes.begin() + kTransportHeaderSize,
                                      datagram->bytes.end());
                lastSeq_ = seq;
            }
            SendTo(serverPort, seq);
        }
        return messages;
    }

    // Drops whatever has arrived so far.
    void Drain() {
        while (Receive(0)) {
        }
    }

  private:
    os::UdpSocket socket_;
    os::Waiter waiter_;
    std::uint32_t lastSeq_ = 0;
};

}  // namespace net
