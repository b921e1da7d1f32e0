#include "tools/board-sim/BoardMessage.h"

#include <gtest/gtest.h>

#include "app/crc32.h"
#include "os/byte_order.h"
#include "tests/data/captured_packets.h"
#include "tests/tools/board-sim/link_datagrams.h"
#include "tools/board-sim/crc32.h"

namespace board_sim {
namespace {

using testing::Bytes;
using testing::ConfigWrite;
using testing::Message;
using testing::SampleConfigBlock;

TEST(BoardCrc32, GivesTheStandardCheckValueAndAgreesWithTheConfigurator) {
    // CRC-32/ISO-HDLC's check value is that of the nine digits "123456789".
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc32(digits), 0xCBF43926u);
    EXPECT_EQ(Crc32({}), 0u);
    Bytes mixed(3000);
    for (std::size_t i = 0; i < mixed.size(); ++i)
        mixed[i] = static_cast<std::uint8_t>(i * 131 + (i >> 3));
    EXPECT_EQ(Crc32(mixed), app::Crc32(mixed.data(), mixed.size()));
}

TEST(BoardMessageConfig, GoodCrcGivesTheBlockWithErasedTail) {
    const app::ConfigBlock sent = SampleConfigBlock();
    const MessageReport report = InspectMessage(ConfigWrite(sent));
    EXPECT_EQ(report.kind, MessageKind::kConfigWrite);
    EXPECT_FALSE(report.violation);
    ASSERT_EQ(report.configCrcOk, true);
    ASSERT_TRUE(report.configBlock.has_value());
    // A block built by the configurator already has FF beyond byte 80.
    EXPECT_EQ(*report.configBlock, sent);
}

TEST(BoardMessageConfig, CrcCoversBytesFourToTheEndWithFfPadding) {
    // Built by hand rather than by the configurator, so both are checked against
    // the layout, not against each other.
    app::ConfigBlock block{};
    block.fill(0xFF);
    for (std::size_t i = 4; i < kConfigSentBytes; ++i)
        block[i] = static_cast<std::uint8_t>(i * 7);
    os::store_le32(block.data(), app::Crc32(block.data() + 4, block.size() - 4));
    EXPECT_EQ(InspectMessage(ConfigWrite(block)).configCrcOk, true);

    // A CRC over the 252 sent bytes alone is not the board's CRC.
    os::store_le32(block.data(), app::Crc32(block.data() + 4, kConfigSentBytes - 4));
    EXPECT_EQ(InspectMessage(ConfigWrite(block)).configCrcOk, false);
}

TEST(BoardMessageConfig, BadCrcIsAViolationAndGivesNoBlock) {
    for (std::size_t corrupted : {std::size_t{0}, std::size_t{4}, std::size_t{255}}) {
        app::ConfigBlock block = SampleConfigBlock();
        block[corrupted] ^= 0x01;
        const MessageReport report = InspectMessage(ConfigWrite(block));
        EXPECT_TRUE(report.violation) << corrupted;
        EXPECT_EQ(report.configCrcOk, false) << corrupted;
        EXPECT_FALSE(report.configBlock.has_value()) << corrupted;
    }
}

TEST(BoardMessageConfig, WrongSizeIsAViolation) {
    const app::ConfigBlock block = SampleConfigBlock();
    const Bytes shortWrite = Message(kCommandConfigWrite, std::span(block.data(), 255));
    const MessageReport report = InspectMessage(shortWrite);
    EXPECT_EQ(report.kind, MessageKind::kConfigWrite);
    EXPECT_TRUE(report.violation);
    EXPECT_EQ(report.configCrcOk, false);
    EXPECT_FALSE(report.configBlock.has_value());
}

TEST(BoardMessageCommands, WellFormedMessagesOfEveryCommand) {
    const Bytes block1024(kMaxBlockBytes, 0x3C);
    const struct {
        Bytes message;
        MessageKind kind;
    } cases[] = {
        {Message(kCommandDisconnect), MessageKind::kDisconnect},
        {Message(kCommandDisconnect, {1, 0, 0, 0, 0x88, 0x88, 0x88, 0x88}),
         MessageKind::kDisconnect},
        {Message(kCommandValue, {1, 2, 3, 4}), MessageKind::kValue},
        {Bytes(std::begin(kPatternMessage), std::end(kPatternMessage)), MessageKind::kPattern},
        {Message(kCommandDataBlock), MessageKind::kDataBlock},
        {Message(kCommandDataBlock, block1024), MessageKind::kDataBlock},
        {Message(kCommandFpgaBytes, block1024), MessageKind::kFpgaBytes},
    };
    for (const auto& c : cases) {
        const MessageReport report = InspectMessage(c.message);
        EXPECT_EQ(report.kind, c.kind) << MessageKindName(c.kind);
        EXPECT_FALSE(report.violation) << MessageKindName(c.kind) << " size " << c.message.size();
    }
}

TEST(BoardMessageCommands, MalformedMessagesOfKnownCommandsAreViolations) {
    const Bytes tooLong(kMaxBlockBytes + 1, 0);
    Bytes badLengthField = Message(kCommandValue, {1, 2, 3, 4});
    os::store_le16(badLengthField.data() + kMessageLengthOffset, 9);
    const Bytes cases[] = {
        Message(kCommandDisconnect, {1, 0, 0, 0, 0x88, 0x88, 0x88, 0x87}),
        Message(kCommandDisconnect, {1, 0, 0, 0}),
        Message(kCommandValue, {1, 2, 3}),
        {0x08, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBD},
        Message(kCommandDataBlock, tooLong),
        Message(kCommandFpgaBytes, tooLong),
        badLengthField,
    };
    for (const Bytes& message : cases) {
        EXPECT_TRUE(InspectMessage(message).violation) << "size " << message.size();
    }
}

TEST(BoardMessageCommands, FpgaBytesAreCounted) {
    EXPECT_EQ(InspectMessage(Message(kCommandFpgaBytes, Bytes(300, 0x81))).fpgaBytes, 300u);
    EXPECT_EQ(InspectMessage(Message(kCommandFpgaBytes)).fpgaBytes, 0u);
    EXPECT_EQ(InspectMessage(Message(kCommandFpgaBytes, Bytes(kMaxBlockBytes + 1, 0))).fpgaBytes,
              0u);
}

TEST(BoardMessageCommands, ArbitraryPayloadsAreUnparsedNotViolations) {
    const Bytes cases[] = {
        {0x01},
        {0x10, 0x00, 0x99},
        {0x05, 0x00, 0x00, 0x00, 0xAA},           // unknown command 0x0000
        {0xFF, 0xFF, 0x8E, 0x8F, 1, 2, 3, 4, 5},  // near a known command
    };
    for (const Bytes& payload : cases) {
        const MessageReport report = InspectMessage(payload);
        EXPECT_EQ(report.kind, MessageKind::kUnparsed) << "size " << payload.size();
        EXPECT_FALSE(report.violation);
    }
}

// The configuration message written out in tests/data, as the device sends it.
TEST(BoardMessageConfig, WrittenOutConfigurationMessageIsAWriteWhoseCrcHolds) {
    const MessageReport report = InspectMessage(testdata::kConfigurationMessage);
    EXPECT_EQ(report.kind, MessageKind::kConfigWrite);
    EXPECT_FALSE(report.violation);
    ASSERT_EQ(report.configCrcOk, true);
    ASSERT_TRUE(report.configBlock.has_value());
    const ConfigBlock& block = *report.configBlock;
    EXPECT_EQ(os::load_le32(block.data() + 4), 0x0A090914u);  // 10.9.9.20
    EXPECT_STREQ(reinterpret_cast<const char*>(block.data() + 16), "Axis");
    EXPECT_EQ(block.back(), 0xFF);
}

}  // namespace
}  // namespace board_sim
