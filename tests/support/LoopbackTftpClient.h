// Test support: a TFTP client on a loopback address, for the server's tests and the
// job's.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "net/tftp_wire.h"
#include "os/byte_order.h"
#include "os/inet_addr.h"
#include "os/udp_socket.h"
#include "os/waiter.h"

namespace net::tftptest {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

struct Datagram {
    Bytes bytes;
    os::SocketAddress from;
    std::uint16_t Opcode() const { return os::load_be16(bytes.data()); }
    std::uint16_t Block() const { return os::load_be16(bytes.data() + kTftpBlockOffset); }
};

// A TFTP client on its own loopback address.
class TestClient {
  public:
    explicit TestClient(const char* address = "127.0.0.1") {
        EXPECT_TRUE(socket_.Open());
        EXPECT_TRUE(socket_.Bind(os::InetAddr(address), 0));
        EXPECT_TRUE(waiter_.Add(socket_));
    }
    void SendRrq(std::uint16_t serverPort, const std::string& name) {
        Bytes packet{0, kTftpOpRrq};
        packet.insert(packet.end(), name.begin(), name.end());
        packet.push_back(0);
        for (char c : std::string("octet"))
            packet.push_back(static_cast<std::uint8_t>(c));
        packet.push_back(0);
        Send(packet, {os::InetAddr("127.0.0.1"), serverPort});
    }
    void SendAck(const os::SocketAddress& to, std::uint16_t block) {
        Bytes packet(4);
        os::store_be16(packet.data(), kTftpOpAck);
        os::store_be16(packet.data() + kTftpBlockOffset, block);
        Send(packet, to);
    }
    void SendError(const os::SocketAddress& to) { Send(Bytes{0, kTftpOpError, 0, 0, 0}, to); }
    void Send(const Bytes& packet, const os::SocketAddress& to) {
        socket_.SendTo(packet.data(), static_cast<int>(packet.size()), to);
    }
    std::uint16_t Port() const { return socket_.LocalPort(); }
    std::optional<Datagram> Receive(std::chrono::milliseconds limit = 2s) {
        const auto result = waiter_.Wait(static_cast<std::uint32_t>(limit.count()));
        if (result.outcome != os::WaitOutcome::kReadable) return std::nullopt;
        Datagram datagram;
        datagram.bytes.resize(1024);
        const int length = socket_.ReceiveFrom(datagram.bytes.data(), 1024, &datagram.from);
        if (length < 0) return std::nullopt;
        datagram.bytes.resize(static_cast<std::size_t>(length));
        return datagram;
    }
    // Sends the read request until block 1 comes, for up to `limit`: a server still
    // starting drops the first ones. Each try waits 200 ms, far longer than a server
    // on loopback takes to answer, so no second request replaces a transfer under way.
    std::optional<Datagram> Request(std::uint16_t serverPort, const std::string& name,
                                    std::chrono::milliseconds limit = 10s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            SendRrq(serverPort, name);
            const auto tryEnd = std::chrono::steady_clock::now() + 200ms;
            while (std::chrono::steady_clock::now() < tryEnd) {
                // A port nobody holds yet can make the receive fail at once.
                const auto data = Receive(100ms);
                if (data && data->Opcode() == kTftpOpData && data->Block() == 1) return data;
            }
        }
        return std::nullopt;
    }
    // Fetches a whole file, acknowledging each block once; returns the content.
    std::optional<Bytes> Fetch(std::uint16_t serverPort, const std::string& name,
                               os::SocketAddress* transferAddress = nullptr,
                               std::size_t* lastBlockSize = nullptr) {
        auto data = Request(serverPort, name);
        Bytes content;
        for (std::uint16_t expected = 1;; ++expected) {
            if (expected > 1) data = Receive();
            if (!data || data->Opcode() != kTftpOpData || data->Block() != expected)
                return std::nullopt;
            if (transferAddress != nullptr) *transferAddress = data->from;
            content.insert(content.end(), data->bytes.begin() + kTftpDataOffset, data->bytes.end());
            SendAck(data->from, expected);
            if (data->bytes.size() < static_cast<std::size_t>(kTftpMaxDataPacket)) {
                if (lastBlockSize != nullptr) *lastBlockSize = data->bytes.size();
                return content;
            }
        }
    }

  private:
    os::UdpSocket socket_;
    os::Waiter waiter_;
};

}  // namespace net::tftptest
