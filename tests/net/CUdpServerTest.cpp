#include "net/CUdpServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "diag/CLog.h"
#include "os/byte_order.h"
#include "os/clock.h"
#include "os/inet_addr.h"
#include "os/wsa_errors.h"
#include "tests/support/LoopbackBoard.h"
#include "tests/support/UnusedUdpPort.h"

namespace net {
namespace {

using ::testing::HasSubstr;

class UdpServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server_.SetPort(0);
        ASSERT_TRUE(server_.Start());
        port_ = server_.LocalAddress().port;
        ASSERT_NE(port_, 0);
    }

    // The board's first datagram, once the server has taken it as the peer.
    void Introduce(TestBoard& board, std::uint32_t ack = 0) {
        const std::uint32_t heard = server_.Stats().rxDatagrams;
        board.SendTo(port_, ack);
        ASSERT_TRUE(WaitUntil([&] { return server_.Stats().rxDatagrams > heard; }));
    }

    void Queue(const Bytes& message) {
        int length = static_cast<int>(message.size());
        ASSERT_TRUE(server_.Send(message.data(), length));
    }

    LogCapture log_;
    CUdpServer server_;
    std::uint16_t port_ = 0;
};

TEST_F(UdpServerTest, FirstMessageWaitsForTheBoardThenArrivesWithRetries) {
    Queue({0x04, 0x00, 0x7C, 0x7C});
    // No peer yet: every 50 ms a failed retransmission.
    ASSERT_TRUE(WaitUntil([&] { return server_.Stats().resendErrors >= 3; }));
    EXPECT_EQ(server_.Stats().txErrors, 1u);
    EXPECT_TRUE(log_.Contains(CUdpServer::SocketErrorText(os::kWsaEAddrNotAvail)));

    TestBoard board;
    board.SendTo(port_, 0);
    const auto datagram = board.Receive();
    ASSERT_TRUE(datagram);
    EXPECT_EQ(datagram->Seq(), 1u);
    EXPECT_GT(datagram->Retries(), 0);
    EXPECT_EQ(datagram->Payload(), (Bytes{0x04, 0x00, 0x7C, 0x7C}));
}

TEST_F(UdpServerTest, TransportHeaderOfAOneBytePayload) {
    TestBoard board;
    Introduce(board);
    Queue({0x5A});
    const auto datagram = board.Receive();
    ASSERT_TRUE(datagram);
    // Written out, so that an offset wrong in both the server and the reader fails.
    EXPECT_EQ(datagram->bytes, (Bytes{
                                   0x11, 0x00,              // length 17, header included
                                   0xEE, 0xFF,              // its ones' complement
                                   0x00, 0x00,              // type
                                   0x00, 0x00,              // retries: the first send
                                   0xEE, 0xEE, 0xEE, 0xEE,  // the computer's ack field
                                   0x01, 0x00, 0x00, 0x00,  // sequence number 1
                                   0x5A,                    // the payload
                               }));
    EXPECT_EQ(datagram->Length(), 17);
    EXPECT_EQ(datagram->Check(), 0xFFEE);
    EXPECT_EQ(datagram->Type(), 0);
    EXPECT_EQ(datagram->Retries(), 0);
    EXPECT_EQ(datagram->Ack(), 0xEEEEEEEEu);
    EXPECT_EQ(datagram->Seq(), 1u);
    EXPECT_EQ(datagram->Payload(), Bytes{0x5A});
}

TEST_F(UdpServerTest, StaleAcknowledgementKeepsRetransmittingAndHoldsTheNextMessage) {
    TestBoard board;
    Introduce(board);
    Queue({1});
    Queue({2, 2});
    const auto first = board.Receive();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Seq(), 1u);

    board.SendTo(port_, 0);  // does not advance: no credit
    for (int expectedRetries = 1; expectedRetries <= 3; ++expectedRetries) {
        const auto repeat = board.Receive(500);
        ASSERT_TRUE(repeat);
        EXPECT_EQ(repeat->Seq(), 1u);
        EXPECT_EQ(repeat->Payload(), Bytes{1});
        EXPECT_GE(repeat->Retries(), expectedRetries);
    }

    board.SendTo(port_, 1);
    std::optional<Datagram> second;
    do {
        second = board.Receive(500);
    } while (second && second->Seq() == 1u);  // a retransmission already on its way
    ASSERT_TRUE(second);
    EXPECT_EQ(second->Seq(), 2u);
    EXPECT_EQ(second->Retries(), 0);
    EXPECT_EQ(second->Payload(), (Bytes{2, 2}));
}

TEST_F(UdpServerTest, LargestMessageGoesWholeAndLongerOnesAreCut) {
    TestBoard board;
    Introduce(board);
    Bytes largest(kMaxPayloadSize);
    for (std::size_t i = 0; i < largest.size(); ++i)
        largest[i] = static_cast<std::uint8_t>(i * 7);
    Queue(largest);
    auto datagram = board.Receive();
    ASSERT_TRUE(datagram);
    EXPECT_EQ(datagram->bytes.size(), 8192u);
    EXPECT_EQ(datagram->Length(), 8192);
    EXPECT_EQ(datagram->Payload(), largest);

    Bytes longer = largest;
    longer.push_back(0xAB);
    longer.push_back(0xCD);
    Queue(longer);
    board.SendTo(port_, 1);
    do {
        datagram = board.Receive();
    } while (datagram && datagram->Seq() == 1u);
    ASSERT_TRUE(datagram);
    EXPECT_EQ(datagram->Seq(), 2u);
    EXPECT_EQ(datagram->bytes.size(), 8192u);
    EXPECT_EQ(datagram->Payload(), largest);
}

TEST_F(UdpServerTest, OversizedBoardDatagramIsAReceiveError) {
    TestBoard board;
    board.SendTo(port_, 0, kMaxDatagramSize + 1);
    ASSERT_TRUE(WaitUntil([&] { return server_.Stats().rxErrors == 1; }));
    EXPECT_TRUE(
        WaitUntil([&] { return log_.Contains(CUdpServer::SocketErrorText(os::kWsaEMsgSize)); }));
    EXPECT_TRUE(log_.Contains("CUdpServer::HandleServerRead (Server) - Error in recvfrom -1"));
    EXPECT_EQ(server_.Stats().rxDatagrams, 0u);

    board.SendTo(port_, 0);  // the link carries on
    EXPECT_TRUE(WaitUntil([&] { return server_.Stats().rxDatagrams == 1; }));
}

TEST_F(UdpServerTest, ShortBoardDatagramCarriesNoAcknowledgement) {
    TestBoard board;
    Introduce(board);
    Queue({9});
    ASSERT_TRUE(board.Receive());
    board.SendTo(port_, 1, kBoardAckEnd);  // a 12-byte datagram acknowledges
    ASSERT_TRUE(WaitUntil([&] { return server_.LastAckSeq() == 1u; }));

    board.SendTo(port_, 0, kBoardAckEnd - 1);  // 11 bytes: its bytes 8..10 are no ack
    board.SendTo(port_, 0, 4);
    ASSERT_TRUE(WaitUntil([&] { return server_.Stats().rxDatagrams == 4; }));
    EXPECT_EQ(server_.LastAckSeq(), 1u);
}

TEST_F(UdpServerTest, AcknowledgementOfADatagramNeverSentIsIgnored) {
    TestBoard board;
    Introduce(board);
    Queue({1});
    ASSERT_TRUE(board.Receive());
    board.SendTo(port_, 0x7FFFFFFF);
    ASSERT_TRUE(WaitUntil([&] { return server_.Stats().rxDatagrams == 2; }));
    EXPECT_EQ(server_.LastAckSeq(), 0u);
    const auto repeat = board.Receive(500);  // still outstanding
    ASSERT_TRUE(repeat);
    EXPECT_EQ(repeat->Seq(), 1u);
    board.SendTo(port_, 1);
    EXPECT_TRUE(WaitUntil([&] { return server_.LastAckSeq() == 1u; }));
}

// Whether a socket bound to 127.0.0.2 is seen sending from there (Wine sends it from
// 127.0.0.1, so no second host can be played on its loopback).
bool SecondLoopbackAddressIsSeen() {
    os::UdpSocket probe;
    os::UdpSocket sender;
    if (!probe.Open() || !probe.Bind(os::InetAddr("127.0.0.1"), 0)) return false;
    if (!sender.Open() || !sender.Bind(os::InetAddr("127.0.0.2"), 0)) return false;
    const std::uint8_t byte = 1;
    sender.SendTo(&byte, 1, {os::InetAddr("127.0.0.1"), probe.LocalPort()});
    os::Waiter waiter;
    waiter.Add(probe);
    waiter.Wait(1000);
    std::uint8_t buffer[4];
    os::SocketAddress from;
    return probe.ReceiveFrom(buffer, sizeof buffer, &from) == 1 &&
           from.addressNetworkOrder == os::InetAddr("127.0.0.2");
}

TEST_F(UdpServerTest, DatagramsFromAnotherAddressNeitherMoveThePeerNorAcknowledge) {
    if (!SecondLoopbackAddressIsSeen())
        GTEST_SKIP() << "datagrams from 127.0.0.2 arrive as 127.0.0.1 here";
    TestBoard board;
    Introduce(board);
    Queue({7});
    const auto first = board.Receive();
    ASSERT_TRUE(first);
    const os::SocketAddress peer = server_.PeerAddress();

    TestBoard stranger("127.0.0.2");
    stranger.SendTo(port_, 0x7FFFFFFF);
    ASSERT_TRUE(WaitUntil([&] { return server_.Stats().foreignDatagrams == 1; }));
    EXPECT_EQ(server_.PeerAddress(), peer);
    EXPECT_EQ(server_.LastAckSeq(), 0u);
    EXPECT_TRUE(log_.Contains("127.0.0.2"));

    // The outstanding message still goes to the board, not to the stranger.
    const auto repeat = board.Receive(500);
    ASSERT_TRUE(repeat);
    EXPECT_EQ(repeat->Seq(), 1u);
    EXPECT_FALSE(stranger.Receive(200));
}

// The job takes Activity as "the board is there": a refused sender must not set it.
TEST(UdpServerPeerRule, ARefusedSendersDatagramsDoNotShowTheBoardAsThere) {
    LogCapture log;
    CUdpServer server;
    server.SetPort(0);
    server.SetRefusedPeers({os::InetAddr("127.0.0.1")});
    ASSERT_TRUE(server.Start());
    TestBoard programmedEarlier;
    for (int i = 0; i < 3; ++i)
        programmedEarlier.SendTo(server.LocalAddress().port, 0);
    ASSERT_TRUE(WaitUntil([&] { return server.Stats().foreignDatagrams == 3; }));
    EXPECT_EQ(server.Activity(), 0);
    EXPECT_EQ(server.Stats().rxDatagrams, 0u);
}

TEST_F(UdpServerTest, AFloodFromAnotherAddressIsNamedOnceInTheLog) {
    if (!SecondLoopbackAddressIsSeen())
        GTEST_SKIP() << "datagrams from 127.0.0.2 arrive as 127.0.0.1 here";
    TestBoard board;
    Introduce(board);
    TestBoard stranger("127.0.0.2");
    constexpr std::uint32_t kBursts = 20;
    constexpr std::uint32_t kPerBurst = 50;  // well inside the socket's buffer
    for (std::uint32_t burst = 1; burst <= kBursts; ++burst) {
        for (std::uint32_t k = 0; k < kPerBurst; ++k)
            stranger.SendTo(port_, 0x7FFFFFFF);
        ASSERT_TRUE(
            WaitUntil([&] { return server_.Stats().foreignDatagrams == burst * kPerBurst; }));
    }
    EXPECT_EQ(log_.Count("CUdpServer::HandleServerRead - ignoring datagrams from 127.0.0.2"), 1);
    EXPECT_EQ(server_.LastAckSeq(), 0u);
}

TEST_F(UdpServerTest, BoardMayChangeItsPort) {
    TestBoard board;
    Introduce(board);
    ASSERT_TRUE(WaitUntil([&] { return server_.Stats().rxDatagrams == 1; }));
    TestBoard sameAddressNewPort;
    sameAddressNewPort.SendTo(port_, 0);
    ASSERT_TRUE(WaitUntil([&] { return server_.Stats().rxDatagrams == 2; }));
    Queue({3});
    EXPECT_TRUE(sameAddressNewPort.Receive());
    EXPECT_EQ(server_.Stats().foreignDatagrams, 0u);
}

TEST_F(UdpServerTest, StopThenStartKeepsTheSequenceNumbers) {
    TestBoard board;
    Introduce(board);
    Queue({1});
    ASSERT_TRUE(board.Receive());
    board.SendTo(port_, 1);
    ASSERT_TRUE(WaitUntil([&] { return server_.LastAckSeq() == 1u; }));

    ASSERT_TRUE(server_.Stop());
    EXPECT_FALSE(server_.IsReceiving());
    EXPECT_FALSE(server_.IsSending());
    server_.SetPort(port_);  // the same port again, so the board's address stays right
    ASSERT_TRUE(server_.Start());
    Queue({2});
    const auto next = board.Receive();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->Seq(), 2u);
    EXPECT_EQ(next->Retries(), 0);
}

TEST_F(UdpServerTest, DefaultHandlerQueuesWholeDatagrams) {
    TestBoard board;
    board.SendTo(port_, 0, 200);
    Bytes received(300);
    int length = 300;
    ASSERT_TRUE(WaitUntil([&] {
        length = 300;
        return server_.Receive(received.data(), length);
    }));
    EXPECT_EQ(length, 200);
    EXPECT_EQ(server_.Stats().rxBytes, 200u);
    EXPECT_EQ(server_.Activity(), 100);
}

TEST_F(UdpServerTest, SequenceWrapKeepsTheLinkGoing) {
    ASSERT_TRUE(server_.Stop());
    server_.SetSequenceForTest(0xFFFFFFF0u);
    server_.SetPort(port_);
    ASSERT_TRUE(server_.Start());

    TestBoard board;
    Introduce(board, 0xFFFFFFF0u);
    std::vector<std::uint32_t> seen;
    for (int i = 0; i < 30; ++i)
        Queue({static_cast<std::uint8_t>(i)});
    while (seen.size() < 30) {
        const auto datagram = board.Receive();
        ASSERT_TRUE(datagram) << "stalled after " << seen.size() << " messages";
        if (!seen.empty() && datagram->Seq() == seen.back()) continue;  // a retransmission
        ASSERT_EQ(datagram->Payload(), Bytes{static_cast<std::uint8_t>(seen.size())});
        seen.push_back(datagram->Seq());
        board.SendTo(port_, datagram->Seq());
    }
    EXPECT_EQ(seen.front(), 0xFFFFFFF1u);
    EXPECT_EQ(seen[14], 0xFFFFFFFFu);
    EXPECT_EQ(seen[15], 0u);
    EXPECT_EQ(seen.back(), 14u);
}

// The send credit survives an entry that is gone by the time its send comes: the
// device's purge flushes txQueue_ between the taking of an entry's signal (with the
// credit) and the send. A signal released without an entry is that state.
class PurgeRacedServer : public CUdpServer {
  public:
    // Stopped here, while this is still what the receive thread calls into.
    ~PurgeRacedServer() override { Stop(); }
    void SignalAnEntryThatIsGone() { txQueue_.EntrySignal().Release(); }
};

class UdpServerCreditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server_.SetPort(0);
        ASSERT_TRUE(server_.Start());
        port_ = server_.LocalAddress().port;
        board_.SendTo(port_, 0);
        ASSERT_TRUE(WaitUntil([&] { return server_.Stats().rxDatagrams == 1; }));
    }
    void Queue(const Bytes& message) {
        int length = static_cast<int>(message.size());
        ASSERT_TRUE(server_.Send(message.data(), length));
    }

    LogCapture log_;
    PurgeRacedServer server_;
    TestBoard board_;
    std::uint16_t port_ = 0;
};

TEST_F(UdpServerCreditTest, EntryGoneBeforeTheSendThreadSendsItKeepsTheCredit) {
    server_.SignalAnEntryThatIsGone();  // the idle send thread takes it with the credit
    os::SleepMs(4 * CUdpServer::kRetransmitMs);
    Queue({0x42});
    const std::vector<Bytes> received = board_.ReceiveMessages(port_, 1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], Bytes{0x42});
}

TEST_F(UdpServerCreditTest, EntryGoneBeforeTheAcknowledgementSendsItKeepsTheCredit) {
    Queue({1});
    const auto first = board_.Receive();
    ASSERT_TRUE(first);
    // While the credit is out: the acknowledgement finds the signal and takes both.
    server_.SignalAnEntryThatIsGone();
    board_.SendTo(port_, first->Seq());
    ASSERT_TRUE(WaitUntil([&] { return server_.LastAckSeq() == first->Seq(); }));
    Queue({2});
    std::optional<Datagram> next;
    do {
        next = board_.Receive();
    } while (next && next->Seq() == first->Seq());
    ASSERT_TRUE(next) << "the credit was lost: nothing more is sent";
    EXPECT_EQ(next->Payload(), Bytes{2});
    EXPECT_EQ(next->Retries(), 0);
}

TEST(UdpServer, StopWithoutStartReturnsTrue) {
    CUdpServer server;
    EXPECT_TRUE(server.Stop());
}

TEST(UdpServer, PortAlreadyBoundMakesStartFail) {
    LogCapture log;
    os::UdpSocket holder;
    ASSERT_TRUE(holder.Open());
    ASSERT_TRUE(holder.Bind(0, 0));
    CUdpServer server;
    server.SetPort(holder.LocalPort());
    EXPECT_FALSE(server.Start());
    EXPECT_FALSE(server.IsReceiving());
    EXPECT_FALSE(server.IsSending());
    EXPECT_TRUE(log.Contains("cannot open UDP port " + std::to_string(holder.LocalPort())));
    EXPECT_TRUE(log.Contains(std::to_string(os::kWsaEAddrInUse)));
    EXPECT_TRUE(server.Stop());
}

TEST(UdpServer, SecondCopyOnTheSamePortIsRefused) {
    LogCapture log;
    const std::uint16_t port = testsupport::UnusedUdpPort();
    ASSERT_NE(port, 0);
    CUdpServer first;
    first.SetPort(port);
    ASSERT_TRUE(first.Start());
    CUdpServer second;
    second.SetPort(port);
    EXPECT_FALSE(second.Start());
    EXPECT_TRUE(log.Contains("another copy of the configurator"));
    EXPECT_TRUE(first.Stop());
    EXPECT_TRUE(second.Start()) << "the name is free again once the first copy stopped";
}

TEST(UdpServer, SocketErrorTextsEndAsTheyAreWritten) {
    EXPECT_EQ(std::string(CUdpServer::SocketErrorText(os::kWsaENotSock)),
              "The descriptor is not a socket.  ");
    EXPECT_EQ(std::string(CUdpServer::SocketErrorText(os::kWsaENetDown)),
              "The network subsystem has failed. ");
    EXPECT_EQ(CUdpServer::SocketErrorText(os::kWsaEAddrInUse), nullptr);
    int known = 0;
    for (int code = os::kWsaBaseErr; code < os::kWsaBaseErr + 100; ++code)
        known += CUdpServer::SocketErrorText(code) != nullptr;
    EXPECT_EQ(known, 23);
}

}  // namespace
}  // namespace net

namespace net {
namespace {

// The peer rule driven without sockets: which first datagram may name the peer.
class PeerRuleServer : public CUdpServer {
  public:
    void Deliver(const char* address) {
        const std::uint8_t datagram[kBoardAckEnd] = {};
        HandleDatagram(datagram, sizeof datagram, {os::InetAddr(address), 5020});
    }
    std::string Peer() const { return HasPeer() ? PeerAddress().ToString() : ""; }
};

struct PeerStep {
    enum Kind { kDeliver, kGrant, kRequireGrant, kNoGrantNeeded } kind;
    const char* address = "";
};

struct PeerRuleCase {
    const char* name;
    std::vector<const char*> refused;
    std::vector<PeerStep> steps;
    const char* peer;  // at the end; "" for none
    std::uint32_t ignored;
};

constexpr PeerStep Deliver(const char* address) {
    return {PeerStep::kDeliver, address};
}
constexpr PeerStep Grant(const char* address) {
    return {PeerStep::kGrant, address};
}
constexpr PeerStep kRequire{PeerStep::kRequireGrant};
constexpr PeerStep kNotRequired{PeerStep::kNoGrantNeeded};

TEST(UdpServerPeerRule, WhoMayBecomeThePeer) {
    const std::vector<PeerRuleCase> cases = {
        {"BOOTP serves, no grant yet: nobody", {}, {kRequire, Deliver("10.9.9.21")}, "", 1},
        {"a grant, then another sender: only the granted one",
         {},
         {kRequire, Grant("10.9.9.100"), Deliver("10.9.9.21"), Deliver("10.9.9.100"),
          Deliver("10.9.9.21")},
         "10.9.9.100:5020",
         2},
        {"a peer taken before the grant is dropped when another address is given",
         {},
         {Deliver("10.9.9.21"), Grant("10.9.9.100"), Deliver("10.9.9.21"), Deliver("10.9.9.100")},
         "10.9.9.100:5020",
         1},
        {"a peer taken before the grant is kept when its own address is given",
         {},
         {Deliver("10.9.9.100"), Grant("10.9.9.100"), Deliver("10.9.9.100")},
         "10.9.9.100:5020",
         0},
        {"a peer dropped before the granted board is heard leaves none",
         {},
         {Deliver("10.9.9.21"), Grant("10.9.9.100")},
         "",
         0},
        {"refused wins over allowed",
         {"10.9.9.100"},
         {kRequire, Grant("10.9.9.100"), Deliver("10.9.9.100")},
         "",
         1},
        {"refused, and another address allowed",
         {"10.9.9.21"},
         {kRequire, Grant("10.9.9.100"), Deliver("10.9.9.21"), Deliver("10.9.9.100")},
         "10.9.9.100:5020",
         1},
        {"BOOTP not running: the first sender", {}, {Deliver("10.9.9.21")}, "10.9.9.21:5020", 0},
        {"BOOTP not running, a refused sender, then another",
         {"10.9.9.21", "10.9.9.100"},
         {Deliver("10.9.9.21"), Deliver("10.9.9.100"), Deliver("10.9.9.101")},
         "10.9.9.101:5020",
         2},
        {"no adapter could answer BOOTP after all: the first sender from then on",
         {},
         {kRequire, Deliver("10.9.9.21"), kNotRequired, Deliver("10.9.9.21")},
         "10.9.9.21:5020",
         1},
    };
    for (const PeerRuleCase& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        PeerRuleServer server;
        std::vector<std::uint32_t> refused;
        for (const char* address : c.refused)
            refused.push_back(os::InetAddr(address));
        server.SetRefusedPeers(refused);
        for (const PeerStep& step : c.steps) {
            switch (step.kind) {
                case PeerStep::kDeliver:
                    server.Deliver(step.address);
                    break;
                case PeerStep::kGrant:
                    server.AllowPeer(os::InetAddr(step.address));
                    break;
                case PeerStep::kRequireGrant:
                    server.RequireGrant(true);
                    break;
                case PeerStep::kNoGrantNeeded:
                    server.RequireGrant(false);
                    break;
            }
        }
        EXPECT_EQ(server.Peer(), c.peer);
        EXPECT_EQ(server.Stats().foreignDatagrams, c.ignored);
        // Only a peer's datagrams show the board as there; a dropped peer's no longer do.
        EXPECT_EQ(server.Activity() > 0, server.HasPeer());
    }
}

TEST(UdpServerPeerRule, EachIgnoredSenderIsNamedOnceUpToALimit) {
    LogCapture log;
    PeerRuleServer server;
    server.RequireGrant(true);
    for (int i = 0; i < 50; ++i)
        server.Deliver("10.9.9.21");
    EXPECT_EQ(log.Count("ignoring datagrams from 10.9.9.21:5020: BOOTP has not given its address"),
              1);
    for (int host = 1; host <= 100; ++host)
        server.Deliver(("10.9.8." + std::to_string(host)).c_str());
    EXPECT_EQ(log.Count("ignoring datagrams from "), 64);
    EXPECT_EQ(log.Count("64 senders ignored; any more are not named"), 1);
    EXPECT_EQ(server.Stats().foreignDatagrams, 150u);
}

// A BOOTP thread grants while the receive thread takes datagrams: the sender that
// was never given an address is never the peer, not even for a moment.
TEST(UdpServerPeerRule, AGrantOnAnotherThreadNeverLetsAnotherSenderIn) {
    LogCapture log;
    PeerRuleServer server;
    server.RequireGrant(true);
    std::atomic<bool> granted{false};
    std::thread bootp([&] {
        os::SleepMs(5);
        server.AllowPeer(os::InetAddr("10.9.9.100"));
        granted = true;
    });
    bool strangerWasPeer = false;
    for (int i = 0; i < 2000 || !granted; ++i) {
        server.Deliver("10.9.9.21");
        server.Deliver("10.9.9.100");
        strangerWasPeer = strangerWasPeer || server.Peer() == "10.9.9.21:5020";
    }
    bootp.join();
    server.Deliver("10.9.9.100");
    EXPECT_FALSE(strangerWasPeer);
    EXPECT_EQ(server.Peer(), "10.9.9.100:5020");
}

}  // namespace
}  // namespace net
