#include "tools/board-sim/TftpClient.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/crc32.h"
#include "os/byte_order.h"
#include "tests/data/captured_packets.h"

namespace board_sim {
namespace {

using Packet = std::vector<std::uint8_t>;

constexpr std::uint16_t kServerPort = 69;
constexpr std::uint16_t kTransferPort = 5555;

Packet Data(std::uint16_t block, std::size_t size, std::uint8_t fill = 0xA5) {
    Packet packet(4 + size, fill);
    os::store_be16(packet.data(), 3);
    os::store_be16(packet.data() + 2, block);
    return packet;
}

TftpClientConfig ConfigFor(std::size_t fileSize, std::uint8_t fill = 0xA5) {
    const Packet content(fileSize, fill);
    TftpClientConfig config;
    config.fileName = "x";
    config.expectedLength = static_cast<std::uint32_t>(fileSize + 28);
    config.expectedCrc = app::Crc32(content.data(), content.size());
    return config;
}

TEST(TftpClient, RequestNamesTheFileInOctetModeToTheWellKnownPort) {
    TftpClient client(ConfigFor(0), kServerPort);
    const auto request = client.Request();
    EXPECT_EQ(request.port, kServerPort);
    const Packet expected{0, 1, 'x', 0, 'o', 'c', 't', 'e', 't', 0};
    EXPECT_EQ(request.packet, expected);
    EXPECT_TRUE(client.OnTimeout().has_value());  // no block yet: ask again
}

TEST(TftpClient, AcksEachBlockToTheTransferPortAndChecksLengthAndCrc) {
    TftpClient client(ConfigFor(1024), kServerPort);
    client.Request();
    for (std::uint16_t block = 1; block <= 3; ++block) {
        const auto ack = client.OnDatagram(Data(block, block < 3 ? 512 : 0), kTransferPort);
        ASSERT_TRUE(ack.has_value());
        EXPECT_EQ(ack->port, kTransferPort);
        EXPECT_EQ(os::load_be16(ack->packet.data()), 4);
        EXPECT_EQ(os::load_be16(ack->packet.data() + 2), block);
    }
    EXPECT_EQ(client.CurrentPhase(), TftpClient::Phase::Complete);
    EXPECT_TRUE(client.LengthOk());
    EXPECT_TRUE(client.CrcOk());
    EXPECT_FALSE(client.OnTimeout().has_value());
}

// The board's packets are those of standard clients, byte for byte.
TEST(TftpClient, RequestAndAcksAreThoseOfTftpHpaAndCurl) {
    TftpClientConfig config = ConfigFor(0);
    config.fileName = "tftp.bin";
    TftpClient client(config, kServerPort);
    EXPECT_EQ(client.Request().packet, testdata::AsBytes(testdata::kTftpHpaRrq));
    const auto ack = client.OnDatagram(Data(1, 512), kTransferPort);
    ASSERT_TRUE(ack.has_value());
    EXPECT_EQ(ack->packet, testdata::AsBytes(testdata::kCurlAck1));
    for (std::uint16_t block = 2; block <= 42; ++block)
        ASSERT_TRUE(client.OnDatagram(Data(block, 512), kTransferPort));
    const auto last = client.OnDatagram(Data(43, 0), kTransferPort);
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->packet, testdata::AsBytes(testdata::kTftpHpaAck43));
}

// The server's first block, as it sent it to tftp-hpa, is taken and acknowledged.
TEST(TftpClient, CapturedFirstBlockOfTheServerIsAcked) {
    TftpClient client(ConfigFor(0), kServerPort);
    client.Request();
    const auto ack = client.OnDatagram(testdata::kTftpData1, kTransferPort);
    ASSERT_TRUE(ack.has_value());
    EXPECT_EQ(ack->port, kTransferPort);
    EXPECT_EQ(ack->packet, testdata::AsBytes(testdata::kCurlAck1));
    EXPECT_EQ(client.CurrentPhase(), TftpClient::Phase::Receiving);
}

TEST(TftpClient, RepeatedBlockIsAckedAgainAndCounted) {
    TftpClient client(ConfigFor(1024), kServerPort);
    client.OnDatagram(Data(1, 512), kTransferPort);
    const auto again = client.OnDatagram(Data(1, 512), kTransferPort);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(os::load_be16(again->packet.data() + 2), 1);
    EXPECT_EQ(client.Counters().duplicates, 1u);
    EXPECT_EQ(client.Counters().maxReceiptsOfABlock, 2u);
    EXPECT_EQ(client.Content().size(), 512u);
    const auto resent = client.OnTimeout();  // the last ACK again
    ASSERT_TRUE(resent.has_value());
    EXPECT_EQ(resent->packet, again->packet);
}

TEST(TftpClient, PacketsFromAnotherPortOrOutOfOrderAreIgnored) {
    TftpClient client(ConfigFor(1024), kServerPort);
    client.OnDatagram(Data(1, 512), kTransferPort);
    EXPECT_FALSE(client.OnDatagram(Data(2, 512), kTransferPort + 1).has_value());
    EXPECT_FALSE(client.OnDatagram(Data(3, 0), kTransferPort).has_value());
    EXPECT_FALSE(client.OnDatagram(Packet{0, 3}, kTransferPort).has_value());
    EXPECT_EQ(client.Counters().foreignPackets, 1u);
    EXPECT_EQ(client.Counters().malformed, 2u);
    EXPECT_EQ(client.Content().size(), 512u);
}

TEST(TftpClient, ErrorAtTheChosenBlockEndsTheDownload) {
    TftpClientConfig config = ConfigFor(1024);
    config.errorAtBlock = 2;
    TftpClient client(config, kServerPort);
    client.OnDatagram(Data(1, 512), kTransferPort);
    const auto error = client.OnDatagram(Data(2, 512), kTransferPort);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(os::load_be16(error->packet.data()), 5);
    EXPECT_EQ(client.CurrentPhase(), TftpClient::Phase::Failed);
    EXPECT_FALSE(client.OnDatagram(Data(2, 512), kTransferPort).has_value());
    EXPECT_FALSE(client.CrcOk());
}

TEST(TftpClient, ShortOrCorruptFileFailsTheChecks) {
    TftpClient client(ConfigFor(1024), kServerPort);
    client.OnDatagram(Data(1, 512), kTransferPort);
    client.OnDatagram(Data(2, 100), kTransferPort);
    EXPECT_EQ(client.CurrentPhase(), TftpClient::Phase::Complete);
    EXPECT_FALSE(client.LengthOk());
    EXPECT_FALSE(client.CrcOk());
}

}  // namespace
}  // namespace board_sim
