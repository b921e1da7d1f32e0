#include "net/CTftpTransfer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/firmware_image.h"
#include "diag/CLog.h"
#include "os/byte_order.h"
#include "tests/diag/RecordingUiPort.h"

namespace net {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kFullBlocks = 42;
constexpr int kContentSize = 21504;
const char* const kFlashError =
    "Error programming the flash on the motion control board.\n"
    "You will need to reset the board or cycle power and try again.";
const char* const kNotResponding = " is not responding.\n\nRetry or Quit Plugin (cancel)?";

struct SentPacket {
    Bytes bytes;
    os::SocketAddress to;
    std::uint16_t Opcode() const { return os::load_be16(bytes.data()); }
    std::uint16_t Block() const { return os::load_be16(bytes.data() + kTftpBlockOffset); }
};

class FakeSender : public CTftpTransfer::Sender {
  public:
    bool EnsureTransferSocket() override {
        ++opens;
        return canOpen;
    }
    void SendData(const std::uint8_t* packet, int length, const os::SocketAddress& to) override {
        sent.push_back({Bytes(packet, packet + length), to});
    }
    bool canOpen = true;
    int opens = 0;
    std::vector<SentPacket> sent;
};

// Sized up front: growing a two-byte vector by insert trips GCC 12's array-bounds
// analysis at -O3.
Bytes Rrq(const std::string& name, const std::string& mode = "octet") {
    Bytes packet(2 + name.size() + 1 + mode.size() + 1, 0);
    packet[1] = kTftpOpRrq;
    std::copy(name.begin(), name.end(), packet.begin() + 2);
    std::copy(mode.begin(), mode.end(),
              packet.begin() + 3 + static_cast<std::ptrdiff_t>(name.size()));
    return packet;
}

Bytes Ack(std::uint16_t block) {
    Bytes packet(4);
    os::store_be16(packet.data(), kTftpOpAck);
    os::store_be16(packet.data() + kTftpBlockOffset, block);
    return packet;
}

Bytes Error(std::uint16_t code = 0) {
    Bytes packet{0, kTftpOpError, 0, 0, 'n', 'o', 0};
    os::store_be16(packet.data() + 2, code);
    return packet;
}

const os::SocketAddress kBoard{0x0100007Fu, 40001};
const os::SocketAddress kStranger{0x0200007Fu, 40001};
const os::SocketAddress kBoardOtherPort{0x0100007Fu, 40002};

class TftpTransfer : public ::testing::Test {
  protected:
    TftpTransfer() {
        diag::theLog.SetConsole(nullptr);
        context.image = app::FirmwareImage();
        context.imageSize = app::kFirmwareImageSize;
    }
    ~TftpTransfer() override { diag::theLog.SetConsole(stdout); }

    void Server(const Bytes& packet, const os::SocketAddress& from = kBoard) {
        transfer.OnServerDatagram(packet.data(), static_cast<int>(packet.size()), from);
    }
    void Transfer(const Bytes& packet, const os::SocketAddress& from = kBoard) {
        transfer.OnTransferDatagram(packet.data(), static_cast<int>(packet.size()), from);
    }
    // Acknowledges every block as it comes until the final one has been acknowledged.
    void AckAll(const os::SocketAddress& from = kBoard) {
        for (int i = 0; i <= kFullBlocks && !sender.sent.empty(); ++i)
            Transfer(Ack(sender.sent.back().Block()), from);
    }
    Bytes ReceivedContent() const {
        Bytes content;
        for (const SentPacket& packet : sender.sent)
            content.insert(content.end(), packet.bytes.begin() + kTftpDataOffset,
                           packet.bytes.end());
        return content;
    }

    diag::RecordingUiPort ui;
    BoardContext context;
    CTftpTiming timing{3000, 250, 8};
    FakeSender sender;
    CTftpTransfer transfer{context, timing, sender};
};

TEST_F(TftpTransfer, AnyNameGetsImageBytesFrom28InFullBlocksThenAnEmptyFinalBlock) {
    for (const std::string name : {"d:\\a.bin", "fpga", "x"}) {
        sender.sent.clear();
        Server(Rrq(name));
        EXPECT_EQ(transfer.FileName(), name);
        AckAll();
        ASSERT_EQ(sender.sent.size(), 43u) << name;
        for (int i = 0; i < kFullBlocks; ++i) {
            EXPECT_EQ(sender.sent[i].bytes.size(), 516u);
            EXPECT_EQ(sender.sent[i].Opcode(), kTftpOpData);
            EXPECT_EQ(sender.sent[i].Block(), i + 1);
            EXPECT_EQ(sender.sent[i].to, kBoard);
        }
        EXPECT_EQ(sender.sent.back().bytes.size(), 4u);  // header only
        EXPECT_EQ(sender.sent.back().Block(), 43);
        const Bytes content = ReceivedContent();
        ASSERT_EQ(content.size(), static_cast<std::size_t>(kContentSize));
        EXPECT_EQ(std::memcmp(content.data(), app::FirmwareImage() + 28, kContentSize), 0);
        EXPECT_EQ(transfer.CurrentState(), CTftpTransfer::Idle);
    }
    EXPECT_EQ(transfer.Stats().transfersCompleted.load(), 3u);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(TftpTransfer, RecordsTheServedNameForFpgaAndEverythingElse) {
    Server(Rrq("fpga"));
    EXPECT_EQ(transfer.ServedFileName(), "fpga_blinky_bitfile.bin");
    AckAll();
    Server(Rrq("d:\\a.bin"));
    EXPECT_EQ(transfer.ServedFileName(), "OrvanClient.bin");
}

TEST_F(TftpTransfer, StateAndWaitFollowTheTransfer) {
    transfer.BeginListening();
    EXPECT_EQ(transfer.WaitTimeout(), 3000u);
    Server(Rrq("x"));
    EXPECT_EQ(transfer.CurrentState(), CTftpTransfer::Sending);
    EXPECT_EQ(transfer.WaitTimeout(), 250u);
    for (std::uint16_t block = 1; block <= kFullBlocks; ++block)
        Transfer(Ack(block));
    EXPECT_EQ(transfer.CurrentState(), CTftpTransfer::LastBlockSent);
    EXPECT_EQ(transfer.Offset(), kContentSize);
    Transfer(Ack(43));
    EXPECT_EQ(transfer.CurrentState(), CTftpTransfer::Idle);
    EXPECT_EQ(transfer.WaitTimeout(), CTftpTransfer::kWaitForever);
}

TEST_F(TftpTransfer, RepeatedOrWrongAcksSendNothing) {
    Server(Rrq("x"));
    Transfer(Ack(1));
    ASSERT_EQ(sender.sent.size(), 2u);
    Transfer(Ack(1));  // repeated
    Transfer(Ack(0));
    Transfer(Ack(7));  // from the future
    EXPECT_EQ(sender.sent.size(), 2u);
    EXPECT_EQ(transfer.Stats().ignoredAcks.load(), 3u);
    Transfer(Ack(2));  // the block just sent
    ASSERT_EQ(sender.sent.size(), 3u);
    EXPECT_EQ(sender.sent.back().Block(), 3);
}

TEST_F(TftpTransfer, LateAckOfAnEarlierBlockDoesNotEndTheTransferAfterTheLastBlock) {
    Server(Rrq("x"));
    for (std::uint16_t block = 1; block <= kFullBlocks; ++block)
        Transfer(Ack(block));
    Transfer(Ack(kFullBlocks));
    EXPECT_EQ(transfer.CurrentState(), CTftpTransfer::LastBlockSent);
}

TEST_F(TftpTransfer, EachTimeoutResendsTheCurrentBlockOnce) {
    Server(Rrq("x"));
    Transfer(Ack(1));
    ASSERT_TRUE(transfer.OnTimeout());
    ASSERT_TRUE(transfer.OnTimeout());
    ASSERT_EQ(sender.sent.size(), 4u);
    EXPECT_EQ(sender.sent[2].bytes, sender.sent[1].bytes);
    EXPECT_EQ(sender.sent[3].bytes, sender.sent[1].bytes);
    EXPECT_EQ(transfer.Stats().dataResent.load(), 2u);
    // The final block too, until its ACK comes.
    for (std::uint16_t block = 2; block <= kFullBlocks; ++block)
        Transfer(Ack(block));
    const std::size_t before = sender.sent.size();
    ASSERT_TRUE(transfer.OnTimeout());
    ASSERT_EQ(sender.sent.size(), before + 1);
    EXPECT_EQ(sender.sent.back().bytes.size(), 4u);
    Transfer(Ack(43));
    ASSERT_TRUE(transfer.OnTimeout());  // idle: nothing to re-send
    EXPECT_EQ(sender.sent.size(), before + 1);
}

TEST_F(TftpTransfer, AckBeforeAnyRequestOrOnPort69DoesNothing) {
    Transfer(Ack(0));
    Server(Ack(0));
    EXPECT_TRUE(sender.sent.empty());
    Server(Rrq("x"));
    Server(Ack(1));  // ACKs belong on the transfer socket
    EXPECT_EQ(sender.sent.size(), 1u);
}

TEST_F(TftpTransfer, AnotherClientsRequestOrPacketsDoNotRedirectTheBlocks) {
    Server(Rrq("x"), kBoard);
    Server(Rrq("x"), kStranger);  // ignored while sending
    Transfer(Ack(1), kStranger);
    Transfer(Ack(1), kBoardOtherPort);  // same host, another transfer ID
    EXPECT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(transfer.Stats().foreignPackets.load(), 2u);
    AckAll(kBoard);
    ASSERT_EQ(sender.sent.size(), 43u);
    for (const SentPacket& packet : sender.sent)
        EXPECT_EQ(packet.to, kBoard);
}

TEST_F(TftpTransfer, ErrorWhileSendingShowsTheFlashMessageOncePerError) {
    Server(Rrq("x"));
    Transfer(Error());
    Transfer(Error(3));
    EXPECT_EQ(ui.Messages(), (std::vector<std::string>{kFlashError, kFlashError}));
    EXPECT_EQ(transfer.CurrentState(), CTftpTransfer::Sending);
    EXPECT_EQ(sender.sent.size(), 1u);
}

TEST_F(TftpTransfer, ErrorAfterTheLastBlockEndsTheTransferSilently) {
    Server(Rrq("x"));
    for (std::uint16_t block = 1; block <= kFullBlocks; ++block)
        Transfer(Ack(block));
    Transfer(Error());
    EXPECT_EQ(transfer.CurrentState(), CTftpTransfer::Idle);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(TftpTransfer, MalformedPacketsAreDropped) {
    Server(Bytes{0});
    Server(Bytes{0, 0, 'x', 0});
    Server(Bytes{0, 7, 'x', 0});
    Server(Bytes{0, kTftpOpRrq});                 // no payload
    Server(Bytes{0, kTftpOpRrq, 'x', 'y', 'z'});  // name not terminated
    EXPECT_TRUE(sender.sent.empty());
    EXPECT_EQ(transfer.CurrentState(), CTftpTransfer::Idle);
    EXPECT_TRUE(transfer.FileName().empty());
    Server(Rrq("x"));
    Transfer(Bytes{0, kTftpOpAck, 0});  // block number cut short
    EXPECT_EQ(sender.sent.size(), 1u);
}

TEST_F(TftpTransfer, LongNamesAreCutTo256Characters) {
    Server(Rrq(std::string(300, 'n')));
    EXPECT_EQ(transfer.FileName(), std::string(256, 'n'));
    EXPECT_EQ(sender.sent.size(), 1u);
}

TEST_F(TftpTransfer, RequestIsIgnoredWhenTheTransferSocketCannotOpenAndTriedAgainLater) {
    sender.canOpen = false;
    Server(Rrq("x"));
    EXPECT_EQ(transfer.CurrentState(), CTftpTransfer::Idle);
    EXPECT_TRUE(sender.sent.empty());
    sender.canOpen = true;
    Server(Rrq("x"));
    EXPECT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(sender.opens, 2);
}

TEST_F(TftpTransfer, EighthSilentWaitAsksWithTheEmptyBoardName) {
    ui.ScriptAnswers({true});
    transfer.BeginListening();
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(transfer.OnTimeout());
    EXPECT_TRUE(ui.Questions().empty());
    EXPECT_TRUE(transfer.OnTimeout());  // Retry
    EXPECT_EQ(ui.Questions(), (std::vector<std::string>{kNotResponding}));
}

TEST_F(TftpTransfer, APacketResetsTheSilenceCount) {
    transfer.BeginListening();
    for (int i = 0; i < 7; ++i)
        transfer.OnTimeout();
    Server(Bytes{0});  // even a malformed one
    for (int i = 0; i < 7; ++i)
        transfer.OnTimeout();
    EXPECT_TRUE(ui.Questions().empty());
}

TEST_F(TftpTransfer, BoardNameFillsThePromptWhichIsLimitedTo255Characters) {
    std::memset(context.boardName, 'B', sizeof context.boardName);  // no terminator at all
    for (int i = 0; i < 8; ++i)
        transfer.OnTimeout();
    ASSERT_EQ(ui.Questions().size(), 1u);
    EXPECT_EQ(ui.Questions()[0], std::string(255, 'B'));
}

TEST_F(TftpTransfer, RetryMidTransferReturnsToIdleAndANewRequestStartsAtBlockOne) {
    transfer.CreateProgressWindow();
    ui.ScriptAnswers({true});
    Server(Rrq("x"));
    for (std::uint16_t block = 1; block <= 10; ++block)
        Transfer(Ack(block));
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(transfer.OnTimeout());
    EXPECT_EQ(transfer.CurrentState(), CTftpTransfer::Idle);
    EXPECT_TRUE(ui.Window(0).visible);  // left showing its last percentage
    Server(Rrq("x"));
    EXPECT_EQ(sender.sent.back().Block(), 1);
    EXPECT_EQ(ui.Window(0).captions.back(), "Tftp Uploading [0%]");
}

TEST_F(TftpTransfer, CancelInThePromptStopsTheWorker) {
    ui.ScriptAnswers({false});
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(transfer.OnTimeout());
    EXPECT_FALSE(transfer.OnTimeout());
}

TEST_F(TftpTransfer, ProgressWindowShowsTheWholeTransferAndGoesAfterTheLastBlock) {
    transfer.CreateProgressWindow();
    ASSERT_EQ(ui.WindowCount(), 1u);
    EXPECT_EQ(ui.Window(0).title, "Tftp Uploading");
    EXPECT_TRUE(ui.Window(0).smooth);
    EXPECT_EQ(ui.Window(0).x, 100);
    EXPECT_EQ(ui.Window(0).y, 100);
    EXPECT_FALSE(ui.Window(0).visible);
    Server(Rrq("x"));
    EXPECT_TRUE(ui.Window(0).visible);
    AckAll();
    const auto window = ui.Window(0);
    EXPECT_EQ(window.upper, 21532);  // the whole image, header included
    EXPECT_TRUE(window.destroyed);
    ASSERT_EQ(window.captions.size(), 43u);
    EXPECT_EQ(window.captions[0], "Tftp Uploading");
    EXPECT_EQ(window.captions[1], "Tftp Uploading [2%]");
    EXPECT_EQ(window.captions[2], "Tftp Uploading [5%]");
    EXPECT_EQ(window.captions[3], "Tftp Uploading [7%]");
    EXPECT_EQ(window.captions[4], "Tftp Uploading [10%]");
    EXPECT_EQ(window.captions.back(), "Tftp Uploading [100%]");
    EXPECT_EQ(window.positions.front(), 0);
    EXPECT_EQ(window.positions.back(), kContentSize);
    EXPECT_FALSE(transfer.HasProgressWindow());
}

TEST_F(TftpTransfer, CancelInTheProgressWindowStopsTheWorkerAndDropsTheWindow) {
    transfer.CreateProgressWindow();
    EXPECT_TRUE(transfer.PumpProgress());
    EXPECT_EQ(ui.Window(0).pumps, 1);
    ui.PressCancel(0);
    EXPECT_FALSE(transfer.PumpProgress());
    EXPECT_TRUE(ui.Window(0).destroyed);
    EXPECT_TRUE(transfer.PumpProgress());  // no window any more
}

TEST_F(TftpTransfer, ImageShorterThanOneBlockIsOneShortBlock) {
    static const std::uint8_t kTiny[40] = {};
    context.image = kTiny;
    context.imageSize = sizeof kTiny;
    Server(Rrq("x"));
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(sender.sent[0].bytes.size(), 4u + 12u);
    EXPECT_EQ(transfer.CurrentState(), CTftpTransfer::LastBlockSent);
}

}  // namespace
}  // namespace net
