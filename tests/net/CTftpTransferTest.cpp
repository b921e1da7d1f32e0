#include "net/CTftpTransfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "app/firmware_image.h"
#include "diag/CLog.h"
#include "os/byte_order.h"
#include "tests/data/captured_packets.h"
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
        context_.image = app::FirmwareImage();
        context_.imageSize = app::kFirmwareImageSize;
    }
    ~TftpTransfer() override { diag::theLog.SetConsole(stdout); }

    void Server(const Bytes& packet, const os::SocketAddress& from = kBoard) {
        transfer_.OnServerDatagram(packet.data(), static_cast<int>(packet.size()), from);
    }
    void Transfer(const Bytes& packet, const os::SocketAddress& from = kBoard) {
        transfer_.OnTransferDatagram(packet.data(), static_cast<int>(packet.size()), from);
    }
    // The block last sent to `to`, 0 when none was.
    std::uint16_t LastBlockTo(const os::SocketAddress& to) const {
        for (auto packet = sender_.sent.rbegin(); packet != sender_.sent.rend(); ++packet)
            if (packet->to == to) return packet->Block();
        return 0;
    }
    // Acknowledges every block as it comes until the final one has been acknowledged.
    void AckAll(const os::SocketAddress& from = kBoard) {
        for (int i = 0; i <= kFullBlocks && LastBlockTo(from) != 0; ++i)
            Transfer(Ack(LastBlockTo(from)), from);
    }
    // The content `to` received, each block once.
    Bytes ReceivedContent(const os::SocketAddress& to = kBoard) const {
        Bytes content;
        std::uint16_t last = 0;
        for (const SentPacket& packet : sender_.sent) {
            if (packet.to != to || packet.Block() == last) continue;
            content.insert(content.end(), packet.bytes.begin() + kTftpDataOffset,
                           packet.bytes.end());
            last = packet.Block();
        }
        return content;
    }
    std::size_t SentTo(const os::SocketAddress& to) const {
        return static_cast<std::size_t>(
            std::count_if(sender_.sent.begin(), sender_.sent.end(),
                          [&](const SentPacket& p) { return p.to == to; }));
    }

    // One silent wait: a wait period passes and the wait ends with nothing.
    bool Silence() {
        now_ += timing_.transferWaitMs;
        return transfer_.OnTimeout();
    }

    diag::RecordingUiPort ui_;
    BoardContext context_;
    CTftpTiming timing_{3000, 250, 8};
    FakeSender sender_;
    std::uint32_t now_ = 1000;
    CTftpTransfer transfer_{context_, timing_, sender_, [this] { return now_; }};
};

TEST_F(TftpTransfer, AnyNameGetsImageBytesFrom28InFullBlocksThenAnEmptyFinalBlock) {
    for (const std::string name : {"d:\\a.bin", "fpga", "x"}) {
        sender_.sent.clear();
        Server(Rrq(name));
        EXPECT_EQ(transfer_.FileName(), name);
        AckAll();
        ASSERT_EQ(sender_.sent.size(), 43u) << name;
        for (int i = 0; i < kFullBlocks; ++i) {
            EXPECT_EQ(sender_.sent[i].bytes.size(), 516u);
            EXPECT_EQ(sender_.sent[i].Opcode(), kTftpOpData);
            EXPECT_EQ(sender_.sent[i].Block(), i + 1);
            EXPECT_EQ(sender_.sent[i].to, kBoard);
        }
        EXPECT_EQ(sender_.sent.back().bytes.size(), 4u);  // header only
        EXPECT_EQ(sender_.sent.back().Block(), 43);
        const Bytes content = ReceivedContent();
        ASSERT_EQ(content.size(), static_cast<std::size_t>(kContentSize));
        EXPECT_EQ(std::memcmp(content.data(), app::FirmwareImage() + 28, kContentSize), 0);
        EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::Idle);
    }
    EXPECT_EQ(transfer_.Stats().transfersCompleted.load(), 3u);
    EXPECT_TRUE(ui_.Messages().empty());
}

TEST_F(TftpTransfer, RequestsOfCurlAndTftpHpaAreServedAndTheirAcksReleaseTheBlocks) {
    const os::SocketAddress curl{0x0100007Fu, 45468};
    const os::SocketAddress tftpHpa{0x0100007Fu, 39616};
    Server(testdata::AsBytes(testdata::kCurlRrq), curl);  // with options, ignored
    EXPECT_EQ(transfer_.FileName(), "d:\\a.bin");
    Server(testdata::AsBytes(testdata::kTftpHpaRrq), tftpHpa);
    ASSERT_EQ(SentTo(curl), 1u);
    ASSERT_EQ(SentTo(tftpHpa), 1u);
    // Block 1 as the server sent it when the capture was taken.
    EXPECT_EQ(sender_.sent[0].bytes, testdata::AsBytes(testdata::kTftpData1));
    EXPECT_EQ(std::memcmp(testdata::kTftpData1 + 4, app::FirmwareImage() + 28, 512), 0);
    Transfer(testdata::AsBytes(testdata::kCurlAck1), curl);
    EXPECT_EQ(LastBlockTo(curl), 2);
    for (int i = 0; i < kFullBlocks && LastBlockTo(tftpHpa) != kFullBlocks + 1; ++i)
        Transfer(Ack(LastBlockTo(tftpHpa)), tftpHpa);
    ASSERT_EQ(LastBlockTo(tftpHpa), kFullBlocks + 1);
    Transfer(testdata::AsBytes(testdata::kTftpHpaAck43), tftpHpa);
    EXPECT_EQ(transfer_.Stats().transfersCompleted.load(), 1u);
    EXPECT_EQ(ReceivedContent(tftpHpa).size(), static_cast<std::size_t>(kContentSize));
}

TEST_F(TftpTransfer, RecordsTheServedNameForFpgaAndEverythingElse) {
    Server(Rrq("fpga"));
    EXPECT_EQ(transfer_.ServedFileName(), "fpga_blinky_bitfile.bin");
    AckAll();
    Server(Rrq("d:\\a.bin"));
    EXPECT_EQ(transfer_.ServedFileName(), "OrvanClient.bin");
}

TEST_F(TftpTransfer, StateAndWaitFollowTheTransfer) {
    transfer_.BeginListening();
    EXPECT_EQ(transfer_.WaitTimeout(), 3000u);
    Server(Rrq("x"));
    EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::Sending);
    EXPECT_EQ(transfer_.WaitTimeout(), 250u);
    for (std::uint16_t block = 1; block <= kFullBlocks; ++block)
        Transfer(Ack(block));
    EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::LastBlockSent);
    EXPECT_EQ(transfer_.Offset(), kContentSize);
    Transfer(Ack(43));
    EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::Idle);
    EXPECT_EQ(transfer_.WaitTimeout(), 3000u);  // for the board to turn to the link
}

TEST_F(TftpTransfer, RepeatedOrWrongAcksSendNothing) {
    Server(Rrq("x"));
    Transfer(Ack(1));
    ASSERT_EQ(sender_.sent.size(), 2u);
    Transfer(Ack(1));  // repeated
    Transfer(Ack(0));
    Transfer(Ack(7));  // from the future
    EXPECT_EQ(sender_.sent.size(), 2u);
    EXPECT_EQ(transfer_.Stats().ignoredAcks.load(), 3u);
    Transfer(Ack(2));  // the block just sent
    ASSERT_EQ(sender_.sent.size(), 3u);
    EXPECT_EQ(sender_.sent.back().Block(), 3);
}

TEST_F(TftpTransfer, LateAckOfAnEarlierBlockDoesNotEndTheTransferAfterTheLastBlock) {
    Server(Rrq("x"));
    for (std::uint16_t block = 1; block <= kFullBlocks; ++block)
        Transfer(Ack(block));
    Transfer(Ack(kFullBlocks));
    EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::LastBlockSent);
}

TEST_F(TftpTransfer, EachTimeoutResendsTheCurrentBlockOnce) {
    Server(Rrq("x"));
    Transfer(Ack(1));
    ASSERT_TRUE(Silence());
    ASSERT_TRUE(Silence());
    ASSERT_EQ(sender_.sent.size(), 4u);
    EXPECT_EQ(sender_.sent[2].bytes, sender_.sent[1].bytes);
    EXPECT_EQ(sender_.sent[3].bytes, sender_.sent[1].bytes);
    EXPECT_EQ(transfer_.Stats().dataResent.load(), 2u);
    // The final block too, until its ACK comes.
    for (std::uint16_t block = 2; block <= kFullBlocks; ++block)
        Transfer(Ack(block));
    const std::size_t before = sender_.sent.size();
    ASSERT_TRUE(Silence());
    ASSERT_EQ(sender_.sent.size(), before + 1);
    EXPECT_EQ(sender_.sent.back().bytes.size(), 4u);
    Transfer(Ack(43));
    ASSERT_TRUE(Silence());  // idle: nothing to re-send
    EXPECT_EQ(sender_.sent.size(), before + 1);
}

TEST_F(TftpTransfer, AckBeforeAnyRequestOrOnPort69DoesNothing) {
    Transfer(Ack(0));
    Server(Ack(0));
    EXPECT_TRUE(sender_.sent.empty());
    Server(Rrq("x"));
    Server(Ack(1));  // ACKs belong on the transfer socket
    EXPECT_EQ(sender_.sent.size(), 1u);
}

TEST_F(TftpTransfer, AnotherClientIsServedBesideTheBoardAndRedirectsNothing) {
    Server(Rrq("x"), kBoard);
    Server(Rrq("x"), kStranger);  // its own transfer
    Server(Rrq("x"), kBoard);     // asked again: the re-send answers it
    ASSERT_EQ(SentTo(kBoard), 1u);
    ASSERT_EQ(SentTo(kStranger), 1u);
    Transfer(Ack(1), kStranger);        // moves the stranger's transfer only
    Transfer(Ack(1), kBoardOtherPort);  // same host, another transfer ID: no transfer
    EXPECT_EQ(SentTo(kBoard), 1u);
    EXPECT_EQ(LastBlockTo(kStranger), 2);
    EXPECT_EQ(transfer_.Stats().foreignPackets.load(), 1u);
    AckAll(kBoard);
    EXPECT_EQ(SentTo(kBoard), 43u);
    EXPECT_EQ(ReceivedContent(kBoard).size(), static_cast<std::size_t>(kContentSize));
    EXPECT_EQ(transfer_.Stats().transfersCompleted.load(), 1u);
    EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::Sending);  // the stranger's goes on
}

// Another host's well-formed request 0.6 s before the board's, never acknowledged.
TEST_F(TftpTransfer, StrangersUnansweredRequestNeitherDelaysTheBoardNorBringsTheQuestion) {
    transfer_.CreateProgressWindow();
    transfer_.BeginListening();
    Server(Rrq("x"), kStranger);
    now_ += 300;
    ASSERT_TRUE(transfer_.ServiceTransfers());
    now_ += 300;
    Server(Rrq("d:\\a.bin"), kBoard);
    AckAll(kBoard);
    EXPECT_EQ(ReceivedContent(kBoard).size(), static_cast<std::size_t>(kContentSize));
    for (int i = 0; i < 40 && transfer_.ActiveTransfers() > 0; ++i)
        ASSERT_TRUE(Silence());
    EXPECT_TRUE(ui_.Questions().empty());
    EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::Idle);
    EXPECT_EQ(transfer_.Stats().transfersDropped.load(), 1u);
    EXPECT_EQ(SentTo(kStranger), 1u + static_cast<std::size_t>(timing_.missesBeforePrompt));
    const auto window = ui_.Window(0);
    EXPECT_EQ(window.positions.back(), kContentSize);  // it followed the board
    EXPECT_EQ(window.captions.back(), "Tftp Uploading [100%]");
}

TEST_F(TftpTransfer, StrangersUnansweredRequestAloneLeavesTheLongWaitForTheBoard) {
    transfer_.BeginListening();
    Server(Rrq("x"), kStranger);
    for (int i = 0; i < timing_.missesBeforePrompt; ++i)
        ASSERT_TRUE(Silence());
    EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::Idle);
    EXPECT_EQ(transfer_.WaitTimeout(), timing_.startWaitMs);
    for (int i = 0; i < timing_.missesBeforePrompt - 1; ++i)
        ASSERT_TRUE(Silence());
    EXPECT_TRUE(ui_.Questions().empty());
    Server(Rrq("x"), kBoard);  // the board asks at last
    AckAll(kBoard);
    EXPECT_EQ(ReceivedContent(kBoard).size(), static_cast<std::size_t>(kContentSize));
    EXPECT_TRUE(ui_.Questions().empty());
}

TEST_F(TftpTransfer, ClientVanishingBesideTheBoardIsDroppedWithoutAsking) {
    Server(Rrq("x"), kStranger);
    for (std::uint16_t block = 1; block <= 5; ++block)
        Transfer(Ack(block), kStranger);
    Server(Rrq("x"), kBoard);
    // The stranger is gone; the board answers every block, a wait period apart.
    for (std::uint16_t block = 1; block <= kFullBlocks + 1; ++block) {
        now_ += timing_.transferWaitMs;
        ASSERT_TRUE(transfer_.ServiceTransfers());
        Transfer(Ack(LastBlockTo(kBoard)), kBoard);
    }
    EXPECT_EQ(ReceivedContent(kBoard).size(), static_cast<std::size_t>(kContentSize));
    EXPECT_TRUE(ui_.Questions().empty());
    EXPECT_EQ(transfer_.Stats().transfersDropped.load(), 1u);
    EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::Idle);
}

TEST_F(TftpTransfer, OnlyWellFormedReadRequestsAreServed) {
    const auto request = [](std::initializer_list<std::uint8_t> bytes) { return Bytes(bytes); };
    const std::vector<Bytes> refused = {
        request({0, 1, 'x', 0, 'b', 0}),                   // two zero bytes, no mode
        request({0, 1, 'x', 0}),                           // no mode at all
        request({0, 1, 'x', 0, 'o', 'c', 't', 'e', 't'}),  // mode not ended
        request({0, 1, 'x', 0, 0}),                        // empty mode
        request({0, 1, 'x', 0, 'o', 'c', 't', 'e', 't', 0, 't', 's', 'i', 'z', 'e'}),
        Rrq("x", "binary"),
        request({0, 2, 'x', 0, 'o', 'c', 't', 'e', 't', 0}),  // a write request
    };
    for (const Bytes& packet : refused)
        Server(packet);
    EXPECT_TRUE(sender_.sent.empty());
    EXPECT_EQ(transfer_.Stats().malformedRequests.load(), refused.size());

    Bytes withOptions = Rrq("x", "OCTET");  // as curl asks: tsize and blksize, ignored
    for (const char* option : {"tsize", "0", "blksize", "1468"}) {
        withOptions.insert(withOptions.end(), option, option + std::strlen(option));
        withOptions.push_back(0);
    }
    const std::vector<std::pair<Bytes, os::SocketAddress>> served = {
        {Rrq("x", "netascii"), {0x0100007Fu, 1}},
        {Rrq("x", "Mail"), {0x0100007Fu, 2}},
        {withOptions, {0x0100007Fu, 3}},
        {Rrq("", "octet"), {0x0100007Fu, 4}},
    };
    for (const auto& [packet, from] : served) {
        Server(packet, from);
        EXPECT_EQ(SentTo(from), 1u) << from.ToString();
        EXPECT_EQ(sender_.sent.back().bytes.size(), 516u);  // 512-byte blocks whatever was asked
    }
}

TEST_F(TftpTransfer, RequestsOfOtherHostsCannotPushOutTheBoard) {
    Server(Rrq("x"), kBoard);
    Transfer(Ack(1), kBoard);
    for (std::uint16_t port = 1; port <= 20; ++port)
        Server(Rrq("x"), {0x0200007Fu, port});
    EXPECT_EQ(transfer_.ActiveTransfers(), CTftpTransfer::kMaxClients);
    EXPECT_EQ(transfer_.Stats().requestsRefused.load(), 20u - (CTftpTransfer::kMaxClients - 1));
    // Once a wait period has passed unanswered, a new request takes a stranger's place.
    now_ += timing_.transferWaitMs;
    ASSERT_TRUE(transfer_.ServiceTransfers());
    Transfer(Ack(2), kBoard);
    Server(Rrq("x"), {0x0300007Fu, 9});
    EXPECT_EQ(SentTo({0x0300007Fu, 9}), 1u);
    AckAll(kBoard);
    EXPECT_EQ(ReceivedContent(kBoard).size(), static_cast<std::size_t>(kContentSize));
}

// Junk at port 69 and at the transfer socket, without end, while the board's block is
// lost: the re-send still goes when it is due, and the log takes a few lines.
TEST_F(TftpTransfer, AFloodNeitherHoldsBackTheBoardsResendNorFloodsTheLog) {
    std::vector<std::string> lines;
    diag::theLog.SetListBox([&](const char* line) { lines.emplace_back(line); });
    Server(Rrq("x"), kBoard);
    Transfer(Ack(1), kBoard);
    const std::size_t before = SentTo(kBoard);
    std::uint32_t random = 1;
    // Ten datagrams a millisecond for just under the time that would bring the question.
    constexpr int kFloodMs = 1900;
    for (int k = 0; k < 10 * kFloodMs; ++k) {
        if (k % 10 == 0) now_ += 1;
        Bytes junk(static_cast<std::size_t>(k % 600));
        for (auto& byte : junk) {
            random = random * 1103515245u + 12345u;
            byte = static_cast<std::uint8_t>(random >> 16);
        }
        if (junk.size() >= 2) junk[1] = static_cast<std::uint8_t>(k % 7);  // every opcode
        Server(junk, kStranger);
        Transfer(junk, kStranger);
        ASSERT_TRUE(transfer_.ServiceTransfers());
    }
    diag::theLog.ClearListBox();
    EXPECT_EQ(SentTo(kBoard) - before, kFloodMs / timing_.transferWaitMs);
    EXPECT_TRUE(ui_.Questions().empty());
    EXPECT_EQ(transfer_.Stats().transfersStarted.load(), 1u);
    EXPECT_LT(lines.size(), 100u);
}

TEST_F(TftpTransfer, ErrorWhileSendingShowsTheFlashMessageOncePerError) {
    Server(Rrq("x"));
    Transfer(Error());
    Transfer(Error(3));
    EXPECT_EQ(ui_.Messages(), (std::vector<std::string>{kFlashError, kFlashError}));
    EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::Sending);
    EXPECT_EQ(sender_.sent.size(), 1u);
}

TEST_F(TftpTransfer, ErrorAfterTheLastBlockEndsTheTransferSilently) {
    Server(Rrq("x"));
    for (std::uint16_t block = 1; block <= kFullBlocks; ++block)
        Transfer(Ack(block));
    Transfer(Error());
    EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::Idle);
    EXPECT_TRUE(ui_.Messages().empty());
}

TEST_F(TftpTransfer, MalformedPacketsAreDropped) {
    Server(Bytes{0});
    Server(Bytes{0, 0, 'x', 0});
    Server(Bytes{0, 7, 'x', 0});
    Server(Bytes{0, kTftpOpRrq});                 // no payload
    Server(Bytes{0, kTftpOpRrq, 'x', 'y', 'z'});  // name not terminated
    EXPECT_TRUE(sender_.sent.empty());
    EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::Idle);
    EXPECT_TRUE(transfer_.FileName().empty());
    Server(Rrq("x"));
    Transfer(Bytes{0, kTftpOpAck, 0});  // block number cut short
    EXPECT_EQ(sender_.sent.size(), 1u);
}

TEST_F(TftpTransfer, LongNamesAreCutTo256Characters) {
    Server(Rrq(std::string(300, 'n')));
    EXPECT_EQ(transfer_.FileName(), std::string(256, 'n'));
    EXPECT_EQ(sender_.sent.size(), 1u);
}

TEST_F(TftpTransfer, RequestIsIgnoredWhenTheTransferSocketCannotOpenAndTriedAgainLater) {
    sender_.canOpen = false;
    Server(Rrq("x"));
    EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::Idle);
    EXPECT_TRUE(sender_.sent.empty());
    sender_.canOpen = true;
    Server(Rrq("x"));
    EXPECT_EQ(sender_.sent.size(), 1u);
    EXPECT_EQ(sender_.opens, 2);
}

TEST_F(TftpTransfer, EighthSilentWaitAsksWithTheEmptyBoardName) {
    ui_.ScriptAnswers({true});
    transfer_.BeginListening();
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(Silence());
    EXPECT_TRUE(ui_.Questions().empty());
    EXPECT_TRUE(Silence());  // Retry
    EXPECT_EQ(ui_.Questions(), (std::vector<std::string>{kNotResponding}));
}

TEST_F(TftpTransfer, APacketResetsTheSilenceCount) {
    transfer_.BeginListening();
    for (int i = 0; i < 7; ++i)
        Silence();
    Server(Bytes{0});  // even a malformed one
    for (int i = 0; i < 7; ++i)
        Silence();
    EXPECT_TRUE(ui_.Questions().empty());
}

TEST_F(TftpTransfer, BoardNameFillsThePromptWhichIsLimitedTo255Characters) {
    std::memset(context_.boardName, 'B', sizeof context_.boardName);  // no terminator at all
    for (int i = 0; i < 8; ++i)
        Silence();
    ASSERT_EQ(ui_.Questions().size(), 1u);
    EXPECT_EQ(ui_.Questions()[0], std::string(255, 'B'));
}

TEST_F(TftpTransfer, RetryMidTransferReturnsToIdleAndANewRequestStartsAtBlockOne) {
    transfer_.CreateProgressWindow();
    ui_.ScriptAnswers({true});
    Server(Rrq("x"));
    for (std::uint16_t block = 1; block <= 10; ++block)
        Transfer(Ack(block));
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(Silence());
    EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::Idle);
    EXPECT_TRUE(ui_.Window(0).visible);  // left showing its last percentage
    Server(Rrq("x"));
    EXPECT_EQ(sender_.sent.back().Block(), 1);
    EXPECT_EQ(ui_.Window(0).captions.back(), "Tftp Uploading [0%]");
}

// A board that loaded its firmware and never turns to the link must not leave the job
// waiting unattended: the silence after the transfer ends in the same question.
TEST_F(TftpTransfer, SilenceAfterACompletedTransferEndsInTheQuestion) {
    ui_.ScriptAnswers({true, false});
    transfer_.BeginListening();
    Server(Rrq("x"));
    AckAll();
    ASSERT_EQ(transfer_.Stats().transfersCompleted.load(), 1u);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < timing_.missesBeforePrompt - 1; ++i)
            ASSERT_TRUE(Silence());
        EXPECT_EQ(ui_.Questions().size(), static_cast<std::size_t>(round));
        EXPECT_EQ(Silence(), round == 0) << "Retry waits again, Cancel ends the worker";
    }
    EXPECT_EQ(ui_.Questions(), (std::vector<std::string>{kNotResponding, kNotResponding}));
}

TEST_F(TftpTransfer, CancelInThePromptStopsTheWorker) {
    ui_.ScriptAnswers({false});
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(Silence());
    EXPECT_FALSE(Silence());
}

TEST_F(TftpTransfer, ProgressWindowShowsTheWholeTransferAndGoesAfterTheLastBlock) {
    transfer_.CreateProgressWindow();
    ASSERT_EQ(ui_.WindowCount(), 1u);
    EXPECT_EQ(ui_.Window(0).title, "Tftp Uploading");
    EXPECT_TRUE(ui_.Window(0).smooth);
    EXPECT_EQ(ui_.Window(0).x, 100);
    EXPECT_EQ(ui_.Window(0).y, 100);
    EXPECT_FALSE(ui_.Window(0).visible);
    Server(Rrq("x"));
    EXPECT_TRUE(ui_.Window(0).visible);
    AckAll();
    const auto window = ui_.Window(0);
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
    EXPECT_FALSE(transfer_.HasProgressWindow());
}

TEST_F(TftpTransfer, CancelInTheProgressWindowStopsTheWorkerAndDropsTheWindow) {
    transfer_.CreateProgressWindow();
    EXPECT_TRUE(transfer_.PumpProgress());
    EXPECT_EQ(ui_.Window(0).pumps, 1);
    ui_.PressCancel(0);
    EXPECT_FALSE(transfer_.PumpProgress());
    EXPECT_TRUE(ui_.Window(0).destroyed);
    EXPECT_TRUE(transfer_.PumpProgress());  // no window any more
}

TEST_F(TftpTransfer, ImageShorterThanOneBlockIsOneShortBlock) {
    static const std::uint8_t kTiny[40] = {};
    context_.image = kTiny;
    context_.imageSize = sizeof kTiny;
    Server(Rrq("x"));
    ASSERT_EQ(sender_.sent.size(), 1u);
    EXPECT_EQ(sender_.sent[0].bytes.size(), 4u + 12u);
    EXPECT_EQ(transfer_.CurrentState(), CTftpTransfer::LastBlockSent);
}

}  // namespace
}  // namespace net

namespace net {
namespace {

// Block numbers are 16 bits: the longest image ends in block 65535, one byte more
// would need a block 65536, and such an image is never begun.
TEST_F(TftpTransfer, AnImageBeyondTheLastBlockNumberIsRefusedAndTheLongestIsServedToTheEnd) {
    Bytes image(kTftpContentOffset + kTftpMaxContentSize + 1);
    context_.image = image.data();
    context_.imageSize = static_cast<std::uint32_t>(image.size());
    Server(Rrq("x"));
    EXPECT_TRUE(sender_.sent.empty());
    EXPECT_EQ(transfer_.Stats().requestsRefused.load(), 1u);

    context_.imageSize -= 1;
    Server(Rrq("x"));
    for (std::uint32_t block = 1; block < 65535u && LastBlockTo(kBoard) == block; ++block)
        Transfer(Ack(static_cast<std::uint16_t>(block)));
    ASSERT_EQ(LastBlockTo(kBoard), 65535);
    EXPECT_EQ(sender_.sent.back().bytes.size(), kTftpDataHeaderSize + 511u);
    Transfer(Ack(65535));
    EXPECT_EQ(transfer_.Stats().transfersCompleted.load(), 1u);
}

}  // namespace
}  // namespace net
