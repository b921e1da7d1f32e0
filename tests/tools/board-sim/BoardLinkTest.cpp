#include "tools/board-sim/BoardLink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/data/captured_packets.h"
#include "tests/tools/board-sim/link_datagrams.h"

namespace board_sim {
namespace {

using testing::Bytes;
using testing::ConfigWrite;
using testing::Datagram;
using testing::Message;
using testing::SampleConfigBlock;

// Feeds datagrams and collects the messages the link keeps.
struct LinkDriver {
    BoardLink link;
    std::vector<Bytes> kept;

    ReceiveOutcome Feed(const Bytes& datagram) {
        ReceiveOutcome outcome = link.Receive(datagram);
        if (outcome.accepted) kept.emplace_back(outcome.message.begin(), outcome.message.end());
        return outcome;
    }
};

TEST(BoardLink, KeepsEachMessageOnceInOrderThroughRepeatsAndDuplicates) {
    const std::vector<Bytes> messages = {Message(kCommandValue, {1, 0, 0, 0}), Bytes{0xDE, 0xAD},
                                         Message(kCommandDataBlock, Bytes(700, 0x42)),
                                         Message(kCommandDisconnect)};
    LinkDriver driver;
    // Server view: seq 1 lost twice, seq 2 acked late, seq 3 duplicated by the network.
    driver.Feed(Datagram(1, 2, messages[0]));
    driver.Feed(Datagram(2, 0, messages[1]));
    driver.Feed(Datagram(2, 1, messages[1]));
    driver.Feed(Datagram(2, 2, messages[1]));
    driver.Feed(Datagram(3, 0, messages[2]));
    driver.Feed(Datagram(3, 0, messages[2]));
    driver.Feed(Datagram(4, 0, messages[3]));

    EXPECT_EQ(driver.kept, messages);
    const LinkCounters& counters = driver.link.Counters();
    EXPECT_EQ(counters.datagramsProcessed, 7u);
    EXPECT_EQ(counters.messagesAccepted, 4u);
    EXPECT_EQ(counters.duplicatesDropped, 3u);
    EXPECT_EQ(counters.headerViolations.Total(), 0u);
    EXPECT_EQ(counters.messageViolations, 0u);
    EXPECT_EQ(counters.firstMessageRetries, 2);
    EXPECT_EQ(counters.firstSeq, 1u);
    EXPECT_EQ(counters.maxRetriesSeen, 2);
    const auto count = [&](MessageKind kind) {
        return counters.messagesByKind[static_cast<std::size_t>(kind)];
    };
    EXPECT_EQ(count(MessageKind::kValue), 1u);
    EXPECT_EQ(count(MessageKind::kUnparsed), 1u);
    EXPECT_EQ(count(MessageKind::kDataBlock), 1u);
    EXPECT_EQ(count(MessageKind::kDisconnect), 1u);
    EXPECT_EQ(counters.acceptedBytes, 8u + 2u + 704u + 4u);
}

TEST(BoardLink, CountsHeaderFaultsByKind) {
    LinkDriver driver;
    const Bytes value = Message(kCommandValue, {1, 2, 3, 4});
    driver.Feed(Datagram(1, 0, value));
    Bytes badAck = Datagram(2, 0, value);
    os::store_le32(badAck.data() + kHeaderAckOffset, 2);
    Bytes badTypeAndCheck = Datagram(2, 0, value);
    os::store_le16(badTypeAndCheck.data() + kHeaderTypeOffset, 1);
    os::store_le16(badTypeAndCheck.data() + kHeaderLengthCheckOffset, 0);
    driver.Feed(badAck);
    driver.Feed(badTypeAndCheck);
    driver.Feed(Bytes(3, 0));               // length
    driver.Feed(Datagram(5, 0, value));     // seq
    driver.Feed(Datagram(1, 0, Bytes{9}));  // retries

    const HeaderViolationCounts& counts = driver.link.Counters().headerViolations;
    EXPECT_EQ(counts.ack, 1u);
    EXPECT_EQ(counts.type, 1u);
    EXPECT_EQ(counts.check, 1u);
    EXPECT_EQ(counts.length, 1u);
    EXPECT_EQ(counts.seq, 1u);
    EXPECT_EQ(counts.retries, 1u);
    EXPECT_EQ(counts.Total(), 6u);
    EXPECT_EQ(driver.kept.size(), 1u);
    EXPECT_EQ(driver.link.Ack(), 1u);
}

TEST(BoardLink, ConfigWritesReportTheLastCrcResultAndCountGoodOnes) {
    LinkDriver driver;
    EXPECT_FALSE(driver.link.Counters().lastConfigCrcOk.has_value());
    const app::ConfigBlock block = SampleConfigBlock();
    const ReceiveOutcome good = driver.Feed(Datagram(1, 0, ConfigWrite(block)));
    ASSERT_TRUE(good.report.configBlock.has_value());
    EXPECT_EQ(driver.link.Counters().lastConfigCrcOk, true);

    app::ConfigBlock corrupted = block;
    corrupted[20] ^= 0xFF;
    const ReceiveOutcome bad = driver.Feed(Datagram(2, 0, ConfigWrite(corrupted)));
    EXPECT_TRUE(bad.accepted);  // the link delivered it; the board refuses its content
    EXPECT_FALSE(bad.report.configBlock.has_value());
    const LinkCounters& counters = driver.link.Counters();
    EXPECT_EQ(counters.lastConfigCrcOk, false);
    EXPECT_EQ(counters.configWrites, 1u);
    EXPECT_EQ(counters.messageViolations, 1u);
}

TEST(BoardLink, StatusDatagramCarriesAckAndCounters) {
    LinkDriver driver;
    const StatusDatagram before = driver.link.BuildStatus(5);
    EXPECT_EQ(os::load_le32(before.data() + kStatusAckOffset), 0u);

    driver.Feed(Datagram(0xFFFFFFFFu, 0, Message(kCommandFpgaBytes, Bytes(100, 0x01))));
    driver.Feed(Datagram(0, 0, Message(kCommandFpgaBytes, Bytes(28, 0x80))));
    driver.Feed(Datagram(0, 1, Message(kCommandFpgaBytes, Bytes(28, 0x80))));
    const StatusDatagram status = driver.link.BuildStatus(1234);

    EXPECT_EQ(status.size(), 108u);
    const std::uint8_t* bytes = status.data();
    EXPECT_EQ(os::load_le32(bytes + kStatusAckOffset), 0u);  // wrapped to 0
    EXPECT_EQ(os::load_le32(bytes + kStatusFpgaBytesOffset), 128u);
    EXPECT_EQ(os::load_le32(bytes + kStatusSentCountOffset), 2u);
    EXPECT_EQ(os::load_le32(bytes + kStatusReceivedCountOffset), 3u);
    EXPECT_EQ(os::load_le32(bytes + kStatusAcceptedCountOffset), 2u);
    EXPECT_EQ(os::load_le32(bytes + kStatusDuplicatesOffset), 1u);
    EXPECT_EQ(os::load_le32(bytes + kStatusUptimeOffset), 1234u);
    EXPECT_EQ(os::load_le32(bytes + kStatusLastCommandOffset), kCommandFpgaBytes);
    EXPECT_EQ(os::load_le32(bytes + kStatusPayloadLengthOffset), 0u);
}

TEST(BoardLink, AckNeverCoversARefusedDatagram) {
    LinkDriver driver;
    const Bytes value = Message(kCommandValue, {1, 2, 3, 4});
    driver.Feed(Datagram(1, 0, value));
    driver.Feed(Datagram(3, 0, value));
    EXPECT_EQ(os::load_le32(driver.link.BuildStatus(0).data() + kStatusAckOffset), 1u);
}

// The status datagram captured from `board-sim link`, rebuilt from what the board had
// seen then: three status datagrams sent, one 4054-byte message accepted at sequence 1.
TEST(BoardLink, RebuildsTheCapturedStatusDatagram) {
    LinkDriver driver;
    for (int sent = 0; sent < 3; ++sent)
        driver.link.BuildStatus(0);
    ASSERT_TRUE(driver.Feed(Datagram(1, 0, Bytes(4054, 0x5A))).accepted);
    const StatusDatagram status = driver.link.BuildStatus(212);
    EXPECT_EQ(Bytes(status.begin(), status.end()),
              ::testdata::AsBytes(::testdata::kBoardSimLinkDatagram));
}

}  // namespace
}  // namespace board_sim
