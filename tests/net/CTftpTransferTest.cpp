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
#include "tests/net/TftpImageBlocks.h"

namespace net {
namespace {

using Bytes = std::vector<std::uint8_t>;

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

// 127.0.0.(10 + k).
os::SocketAddress Host(int k, std::uint16_t port = 40001) {
    return {(static_cast<std::uint32_t>(10 + k) << 24) | 0x7Fu, port};
}

// How the job runs BOOTP: not at all (every client is the board), without an address
// given yet, or having given the board its address.
enum class Bootp { kOff, kNothingGiven, kGaveTheBoard };

void RunBootp(CTftpTransfer& transfer, Bootp bootp) {
    if (bootp != Bootp::kOff) transfer.ExpectBoardFromBootp();
    if (bootp == Bootp::kGaveTheBoard) transfer.BoardAddressGiven(kBoard.addressNetworkOrder);
}

struct TransferEvents : ServiceEvents {
    void OnTransferStarted(const os::SocketAddress& client, const std::string&,
                           std::uint32_t) override {
        started.push_back(client);
    }
    void OnTransferFinished(const os::SocketAddress& client, std::uint32_t) override {
        finished.push_back(client);
    }
    std::vector<os::SocketAddress> started;
    std::vector<os::SocketAddress> finished;
};

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
    const os::SocketAddress tftpHpa{0x0200007Fu, 39616};  // one transfer per host
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

TEST_F(TftpTransfer, OneTransferPerHostANewRequestReplacesItsOlderOne) {
    Server(Rrq("x"), kBoard);
    Transfer(Ack(1), kBoard);
    Server(Rrq("x"), kBoardOtherPort);  // the board started over from another port
    EXPECT_EQ(transfer_.ActiveTransfers(), 1);
    EXPECT_EQ(transfer_.Stats().transfersReplaced.load(), 1u);
    EXPECT_EQ(LastBlockTo(kBoardOtherPort), 1);
    Transfer(Ack(2), kBoard);  // the older transfer is gone
    EXPECT_EQ(transfer_.Stats().foreignPackets.load(), 1u);
    AckAll(kBoardOtherPort);
    EXPECT_EQ(ReceivedContent(kBoardOtherPort).size(), static_cast<std::size_t>(kContentSize));
}

TEST_F(TftpTransfer, WhenEveryPlaceIsTakenTheHostThatProgressedLeastRecentlyGivesWay) {
    for (int k = 0; k < CTftpTransfer::kMaxClients; ++k)
        Server(Rrq("x"), Host(k));
    // Host 1 never acknowledges: its standing is its request, older than any progress.
    for (const int k : {2, 0, 3}) {
        now_ += 10;
        Transfer(Ack(1), Host(k));
    }
    const std::vector<int> givingWay = {1, 2, 0, 3};
    for (std::size_t n = 0; n < givingWay.size(); ++n) {
        now_ += 10;
        const os::SocketAddress newcomer = Host(10 + static_cast<int>(n));
        Server(Rrq("x"), newcomer);
        EXPECT_EQ(SentTo(newcomer), 1u);
        const std::uint32_t foreign = transfer_.Stats().foreignPackets.load();
        Transfer(Ack(LastBlockTo(Host(givingWay[n]))), Host(givingWay[n]));
        EXPECT_EQ(transfer_.Stats().foreignPackets.load(), foreign + 1) << "host " << givingWay[n];
        Transfer(Ack(1), newcomer);  // newcomers progress, so the older hosts go first
    }
    EXPECT_EQ(transfer_.Stats().transfersDropped.load(), givingWay.size());
}

TEST_F(TftpTransfer, AnotherHostsRequestNeverTakesTheBoardsPlace) {
    transfer_.ExpectBoardFromBootp();
    for (int k = 0; k < CTftpTransfer::kMaxClients; ++k) {  // four boards in this job
        transfer_.BoardAddressGiven(Host(k).addressNetworkOrder);
        Server(Rrq("x"), Host(k));
    }
    now_ += 10;
    Server(Rrq("x"), kStranger);
    EXPECT_EQ(SentTo(kStranger), 0u);
    EXPECT_EQ(transfer_.Stats().requestsRefused.load(), 1u);
}

// Four other hosts hold every place, from before the board asks, and each
// acknowledges its block in flight every millisecond. After each of the board's
// acknowledgements yet another host asks, when the board is the one that progressed
// least recently: the board keeps its place all the same, and the window shows its
// transfer alone.
TEST_F(TftpTransfer, TheBoardIsServedWhileFourOtherHostsHoldEveryPlaceAndProgress) {
    TransferEvents events;
    transfer_.SetEvents(&events);
    transfer_.CreateProgressWindow();
    RunBootp(transfer_, Bootp::kGaveTheBoard);
    std::vector<os::SocketAddress> strangers;
    const auto strangersProgress = [&] {
        now_ += 1;
        for (const os::SocketAddress& stranger : strangers)
            Transfer(Ack(LastBlockTo(stranger)), stranger);
    };
    for (int k = 0; k < CTftpTransfer::kMaxClients; ++k) {
        strangers.push_back(Host(k));
        Server(Rrq("x"), strangers.back());
    }
    for (int i = 0; i < 20; ++i)
        strangersProgress();
    EXPECT_FALSE(ui_.Window(0).visible);
    Server(Rrq("d:\\a.bin"), kBoard);
    ASSERT_EQ(SentTo(kBoard), 1u);
    for (int block = 1; block <= kFullBlocks + 1; ++block) {
        Transfer(Ack(LastBlockTo(kBoard)), kBoard);
        strangersProgress();
        now_ += 1;
        strangers.push_back(Host(10 + block));
        Server(Rrq("x"), strangers.back());
    }
    EXPECT_EQ(ReceivedContent(kBoard).size(), static_cast<std::size_t>(kContentSize));
    EXPECT_GT(transfer_.Stats().transfersCompleted.load(), 1u);  // the first four finished first
    const auto window = ui_.Window(0);
    EXPECT_EQ(window.positions.front(), 0);
    EXPECT_TRUE(std::is_sorted(window.positions.begin(), window.positions.end()));
    EXPECT_EQ(window.captions.size(), 43u);  // the board's 43 blocks, no other host's
    EXPECT_EQ(events.started, std::vector<os::SocketAddress>{kBoard});
    EXPECT_EQ(events.finished, std::vector<os::SocketAddress>{kBoard});
    EXPECT_TRUE(ui_.Questions().empty());
}

// What a host sends after its request, a packet every 200 ms for 3 s, and whether its
// stall brings the question within that time: only progress keeps a place, and only
// the board's transfer may ask.
TEST_F(TftpTransfer, OnlyProgressKeepsAPlaceAndOnlyTheBoardsStallAsks) {
    enum class Then { kSilence, kRepeatAck1, kRepeatRequest, kRequestFromNewPorts };
    struct Case {
        const char* what;
        Bootp bootp;
        os::SocketAddress host;
        bool acksBlock1;
        Then then;
        bool asks;
    };
    const Case cases[] = {
        {"no BOOTP: any client is the board", Bootp::kOff, kStranger, true, Then::kSilence, true},
        {"BOOTP gave nothing yet", Bootp::kNothingGiven, kStranger, true, Then::kSilence, false},
        {"another host stalls", Bootp::kGaveTheBoard, kStranger, true, Then::kSilence, false},
        {"another host repeats ACK 1", Bootp::kGaveTheBoard, kStranger, true, Then::kRepeatAck1,
         false},
        {"another host repeats its request", Bootp::kGaveTheBoard, kStranger, false,
         Then::kRepeatRequest, false},
        {"another host asks from new ports", Bootp::kGaveTheBoard, kStranger, true,
         Then::kRequestFromNewPorts, false},
        {"the board stalls", Bootp::kGaveTheBoard, kBoard, true, Then::kSilence, true},
        {"the board repeats ACK 1", Bootp::kGaveTheBoard, kBoard, true, Then::kRepeatAck1, true},
        {"the board never acknowledges", Bootp::kGaveTheBoard, kBoard, false, Then::kRepeatRequest,
         false},
    };
    ui_.ScriptAnswers({}, true);  // Retry
    for (const Case& c : cases) {
        const std::size_t questionsBefore = ui_.Questions().size();
        FakeSender sender;
        CTftpTransfer transfer(context_, timing_, sender, [this] { return now_; });
        RunBootp(transfer, c.bootp);
        transfer.BeginListening();
        os::SocketAddress host = c.host;
        const auto send = [&](const Bytes& packet, bool toServer) {
            if (toServer) {
                transfer.OnServerDatagram(packet.data(), static_cast<int>(packet.size()), host);
            } else {
                transfer.OnTransferDatagram(packet.data(), static_cast<int>(packet.size()), host);
            }
            return transfer.ServiceTransfers();
        };
        ASSERT_TRUE(send(Rrq("x"), true));
        if (c.acksBlock1) {
            ASSERT_TRUE(send(Ack(1), false));
        }
        // The worker's loop: waits that end with nothing, or with the host's packet.
        const std::uint32_t end = now_ + 3000;
        for (std::uint32_t packetAt = now_ + 200; now_ < end;) {
            const std::uint32_t wait = transfer.WaitTimeout();
            if (c.then == Then::kSilence || packetAt - now_ > wait) {
                now_ += std::min(wait, end - now_);
                ASSERT_TRUE(transfer.OnTimeout());
                continue;
            }
            now_ = packetAt;
            packetAt += 200;
            if (c.then == Then::kRepeatAck1) {
                ASSERT_TRUE(send(Ack(1), false));
            } else if (c.then == Then::kRepeatRequest) {
                ASSERT_TRUE(send(Rrq("x"), true));
            } else {
                ++host.port;  // a new transfer each time, its block 1 acknowledged at once
                ASSERT_TRUE(send(Rrq("x"), true));
                ASSERT_TRUE(send(Ack(1), false));
            }
        }
        EXPECT_EQ(ui_.Questions().size() - questionsBefore, c.asks ? 1u : 0u) << c.what;
        if (c.asks) {
            EXPECT_EQ(transfer.Stats().transfersDropped.load(), 0u) << c.what;
        } else {
            EXPECT_GE(transfer.Stats().transfersDropped.load(), 1u) << c.what;
        }
    }
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

// Three ERRORs in a transfer, then another transfer of the same host and one more.
TEST_F(TftpTransfer, OnlyTheBoardsErrorShowsTheFlashMessageAndOncePerTransfer) {
    struct Case {
        const char* what;
        Bootp bootp;
        os::SocketAddress host;
        std::size_t messages;
    };
    const Case cases[] = {
        {"no BOOTP: any client is the board", Bootp::kOff, kStranger, 2},
        {"BOOTP gave nothing yet", Bootp::kNothingGiven, kStranger, 0},
        {"another host", Bootp::kGaveTheBoard, kStranger, 0},
        {"the board", Bootp::kGaveTheBoard, kBoard, 2},
    };
    for (const Case& c : cases) {
        const std::size_t messagesBefore = ui_.Messages().size();
        FakeSender sender;
        CTftpTransfer transfer(context_, timing_, sender, [this] { return now_; });
        RunBootp(transfer, c.bootp);
        for (const std::uint16_t port : {40001, 40002}) {
            const os::SocketAddress from{c.host.addressNetworkOrder, port};
            const Bytes request = Rrq("x");
            transfer.OnServerDatagram(request.data(), static_cast<int>(request.size()), from);
            for (int i = 0; i < 3; ++i) {
                const Bytes error = Error(static_cast<std::uint16_t>(i));
                transfer.OnTransferDatagram(error.data(), static_cast<int>(error.size()), from);
            }
        }
        const std::vector<std::string> messages = ui_.Messages();
        EXPECT_EQ(
            std::vector<std::string>(messages.begin() + static_cast<std::ptrdiff_t>(messagesBefore),
                                     messages.end()),
            std::vector<std::string>(c.messages, kFlashError))
            << c.what;
        EXPECT_EQ(sender.sent.size(), 2u) << c.what;  // block 1 of each, nothing more
    }
    EXPECT_TRUE(ui_.Questions().empty());
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
