#include "net/CBootP.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "os/byte_order.h"
#include "os/error_text.h"
#include "os/inet_addr.h"
#include "os/wsa_errors.h"
#include "tests/data/captured_packets.h"
#include "tests/net/CArpTestTable.h"

namespace net {
namespace {

using testing::ArpRow;
using testing::LogLines;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kPastGate = CBootP::kMinRequestSpacingMs + 1;
constexpr std::uint32_t kRequestXid = 0x12345678u;

os::AdapterInfo Adapter(const char* name, const char* ip, std::uint32_t index) {
    os::AdapterInfo adapter;
    std::snprintf(adapter.name, sizeof adapter.name, "%s", name);
    std::snprintf(adapter.description, sizeof adapter.description, "test adapter %s", name);
    std::snprintf(adapter.ipAddress, sizeof adapter.ipAddress, "%s", ip);
    const std::uint8_t mac[6] = {0x02, 0, 0, 0, 0, static_cast<std::uint8_t>(index)};
    std::memcpy(adapter.hardwareAddress, mac, sizeof mac);
    adapter.hardwareAddressLength = sizeof mac;
    adapter.index = index;
    return adapter;
}

// The computer as the server sees it: adapters, ARP table, tick count and the
// replies it sends, all in memory.
class FakePlatform final : public CBootPPlatform {
  public:
    struct Reply {
        Bytes bytes;
        os::SocketAddress to;
    };

    std::uint32_t TickCountMs() override { return tick.load(); }
    std::uint32_t NumberOfInterfaces(std::uint32_t& count) override {
        if (interfaceCountError != 0) return interfaceCountError;
        count = interfaceCount;
        return 0;
    }
    std::uint32_t ListAdapters(std::uint32_t room, std::vector<os::AdapterInfo>& out,
                               std::uint32_t& needed) override {
        std::lock_guard lock(listMutex);
        ++listCalls;
        if (listError != 0) return listError;
        if (adapters.size() > room) {
            needed = static_cast<std::uint32_t>(adapters.size());
            return os::kErrorBufferOverflow;
        }
        out = adapters;
        return 0;
    }
    int LastSystemError() override { return lastSystemError; }
    int HostName(char* buffer, int size) override {
        std::unique_lock lock(hostNameMutex);
        ++hostNameCalls;
        hostNameChanged.notify_all();
        hostNameChanged.wait(lock, [this] { return !holdHostName; });
        std::snprintf(buffer, static_cast<std::size_t>(size), "testhost");
        return hostNameResult;
    }
    // Holds every interface thread inside its start-up while set.
    void HoldHostName(bool hold) {
        {
            std::lock_guard lock(hostNameMutex);
            holdHostName = hold;
        }
        hostNameChanged.notify_all();
    }
    bool WaitForHostNameCalls(int calls) {
        std::unique_lock lock(hostNameMutex);
        return hostNameChanged.wait_for(lock, std::chrono::seconds(10),
                                        [&] { return hostNameCalls >= calls; });
    }
    std::uint32_t ReadArpTable(std::uint8_t* buffer, std::uint32_t capacity) override {
        ++arpReads;
        return testing::WriteArpTable(arp, buffer, capacity);
    }
    // On loopback, at a port of the system's choosing: the interface threads run
    // whole, and nothing reaches a network.
    bool BindServerSocket(os::UdpSocket& socket, const os::AdapterInfo& adapter, std::uint32_t,
                          std::uint16_t) override {
        std::lock_guard lock(listMutex);
        ++binds[adapter.name];
        if (refuseBind.count(adapter.name) != 0) {
            os::SetLastSocketError(os::kWsaEAddrInUse);
            return false;
        }
        return socket.Bind(os::InetAddr("127.0.0.1"), 0) &&
               (ports[adapter.name] = socket.LocalPort()) != 0;
    }
    // While the re-scan thread may read them.
    void SetAdapters(std::vector<os::AdapterInfo> now, std::uint32_t error = 0) {
        std::lock_guard lock(listMutex);
        adapters = std::move(now);
        listError = error;
    }
    int Binds(const std::string& name) {
        std::lock_guard lock(listMutex);
        return binds[name];
    }
    std::uint16_t Port(const std::string& name) {
        std::lock_guard lock(listMutex);
        return ports[name];
    }
    std::size_t RepliesTo(const std::string& destination) {
        std::lock_guard lock(mutex);
        std::size_t count = 0;
        for (const Reply& reply : replies)
            count += reply.to.ToString() == destination;
        return count;
    }
    int SendReply(os::UdpSocket&, const std::uint8_t* data, int length,
                  const os::SocketAddress& to) override {
        std::lock_guard lock(mutex);
        replies.push_back({Bytes(data, data + length), to});
        if (sendError != 0) {
            os::SetLastSocketError(sendError);
            return -1;
        }
        return length;
    }

    std::atomic<std::uint32_t> tick{1000};
    std::uint32_t interfaceCountError = 0;
    std::uint32_t interfaceCount = 0;
    std::mutex listMutex;  // the adapter list and the binds
    std::vector<os::AdapterInfo> adapters;
    std::uint32_t listError = 0;
    int listCalls = 0;
    std::map<std::string, int> binds;
    std::map<std::string, std::uint16_t> ports;
    std::set<std::string> refuseBind;  // as if another server held their port 67
    int lastSystemError = 0;
    int hostNameResult = 0;
    std::mutex hostNameMutex;
    std::condition_variable hostNameChanged;
    bool holdHostName = false;
    int hostNameCalls = 0;
    std::vector<ArpRow> arp;
    int arpReads = 0;
    int sendError = 0;
    std::mutex mutex;
    std::vector<Reply> replies;
};

Bytes Mac(std::uint8_t last) {
    return {0x00, 0x1a, 0x2b, 0x3c, 0x4d, last};
}

// A request whose every byte differs from its neighbours, so a reply byte that was
// moved or cleared shows.
Bytes Request(const Bytes& mac, std::uint8_t hlen = 6) {
    Bytes request(kBootpMessageSize);
    for (std::size_t i = 0; i < request.size(); ++i)
        request[i] = static_cast<std::uint8_t>(i * 7 + 3);
    request[kBootpOpOffset] = kBootpOpRequest;
    request[kBootpHtypeOffset] = kBootpHtypeEthernet;
    request[kBootpHlenOffset] = hlen;
    os::store_be32(&request[kBootpXidOffset], kRequestXid);
    std::memset(&request[kBootpChaddrOffset], 0, kBootpChaddrSize);
    std::memcpy(&request[kBootpChaddrOffset], mac.data(), mac.size());
    request[kBootpSnameOffset] = 0;  // an empty server name unless a test says otherwise
    return request;
}

std::string Dotted(const std::uint8_t* field) {
    return std::to_string(field[0]) + '.' + std::to_string(field[1]) + '.' +
           std::to_string(field[2]) + '.' + std::to_string(field[3]);
}

class BootPTest : public ::testing::Test {
  protected:
    BootPTest() {
        for (std::size_t i = 0; i < sizeof image_; ++i)
            image_[i] = static_cast<std::uint8_t>(0xA0 + i);
        context_.image = image_;
        context_.imageSize = sizeof image_;
        platform_.adapters = {Adapter("eth0", "10.9.9.1", 5), Adapter("eth1", "192.168.7.33", 6)};
        platform_.interfaceCount = 3;  // loopback included, as Windows counts
    }

    // Re-scans only when a test asks for one.
    void MakeServer() {
        server_ = std::make_unique<CBootP>(context_, platform_);
        server_->SetRescanIntervalMs(0);
    }

    // What Init and each interface thread do before their socket exists.
    void Start() {
        MakeServer();
        server_->DetectInterfaces();
        for (std::uint32_t i = 0; i < server_->InterfaceCount(); ++i) {
            server_->GetHostInfo(static_cast<int>(i));
            server_->RebuildPool(static_cast<int>(i));
        }
        platform_.tick += kPastGate;
    }

    // One datagram on interface `i`, then past the request spacing.
    void Deliver(int i, const Bytes& datagram) {
        server_->HandleDatagram(i, datagram.data(), static_cast<int>(datagram.size()),
                                {0, CBootP::kClientPort});
        platform_.tick += kPastGate;
    }

    std::size_t ReplyCount() { return platform_.replies.size(); }
    const Bytes& LastReply() { return platform_.replies.back().bytes; }
    std::string LastYiaddr() { return Dotted(&LastReply()[kBootpYiaddrOffset]); }

    std::uint8_t image_[32] = {};
    BoardContext context_;
    FakePlatform platform_;
    LogLines log_;
    std::unique_ptr<CBootP> server_;
};

TEST_F(BootPTest, AnswersFromThePoolInOrderThenFallsSilentOnThatInterfaceOnly) {
    Start();
    for (int board = 0; board < CBootP::kPoolEntries; ++board) {
        Deliver(0, Request(Mac(static_cast<std::uint8_t>(board))));
        ASSERT_EQ(ReplyCount(), static_cast<std::size_t>(board + 1));
        EXPECT_EQ(LastYiaddr(), "10.9.9." + std::to_string(100 + board));
        EXPECT_EQ(Dotted(&LastReply()[kBootpSiaddrOffset]), "10.9.9.1");
        EXPECT_EQ(platform_.replies.back().to.ToString(), "10.9.9.255:68");
        EXPECT_TRUE(server_->Pool(0, board).issued);
    }
    EXPECT_TRUE(log_.Has("CBootP::ProcessRequest: issued address at 10.9.9.109"));

    Deliver(0, Request(Mac(0x77)));
    EXPECT_EQ(ReplyCount(), 10u);

    Deliver(1, Request(Mac(0x77)));
    ASSERT_EQ(ReplyCount(), 11u);
    EXPECT_EQ(LastYiaddr(), "192.168.7.100");
    EXPECT_EQ(platform_.replies.back().to.ToString(), "192.168.7.255:68");
}

TEST_F(BootPTest, RepeatedRequestFromTheSameBoardGetsTheSameEntry) {
    Start();
    Deliver(0, Request(Mac(1)));
    for (int retry = 0; retry < 2 * CBootP::kPoolEntries; ++retry)
        Deliver(0, Request(Mac(1)));
    ASSERT_EQ(ReplyCount(), 21u);
    for (const auto& reply : platform_.replies)
        EXPECT_EQ(Dotted(&reply.bytes[kBootpYiaddrOffset]), "10.9.9.100");
    EXPECT_FALSE(server_->Pool(0, 1).issued);

    Deliver(0, Request(Mac(2)));
    EXPECT_EQ(LastYiaddr(), "10.9.9.101");
}

TEST_F(BootPTest, BusyboxUdhcpcDiscoverGetsTheWrittenOutReplyByteForByte) {
    const Bytes discover = testdata::AsBytes(testdata::kUdhcpcDiscover);
    ASSERT_EQ(discover.size(), 300u);
    // The capture, read by hand: a BOOTREQUEST on Ethernet (1, 1, 6), xid F7594407,
    // hardware address C6-44-01-9E-8F-77 at 28, the DHCP cookie at 236.
    ASSERT_EQ(Bytes(discover.begin(), discover.begin() + 8),
              (Bytes{0x01, 0x01, 0x06, 0x00, 0xF7, 0x59, 0x44, 0x07}));
    ASSERT_EQ(Bytes(discover.begin() + 28, discover.begin() + 34),
              (Bytes{0xC6, 0x44, 0x01, 0x9E, 0x8F, 0x77}));
    ASSERT_EQ(Bytes(discover.begin() + 236, discover.begin() + 240),
              (Bytes{0x63, 0x82, 0x53, 0x63}));
    Start();
    Deliver(0, discover);
    ASSERT_EQ(ReplyCount(), 1u);
    EXPECT_EQ(LastReply(), testdata::AsBytes(testdata::kBootpReplyToUdhcpc));
}

TEST_F(BootPTest, AddressKnownToTheArpTableIsGivenAgainWithoutTouchingThePool) {
    platform_.arp = {{5, Mac(9), "10.9.9.20", os::kArpTypeStatic}};
    Start();
    Deliver(0, Request(Mac(9)));
    ASSERT_EQ(ReplyCount(), 1u);
    EXPECT_EQ(LastYiaddr(), "10.9.9.20");
    EXPECT_TRUE(log_.Has("CBootP::ProcessRequest: found address at 10.9.9.20"));
    for (int j = 0; j < CBootP::kPoolEntries; ++j)
        EXPECT_FALSE(server_->Pool(0, j).issued) << j;

    Deliver(0, Request(Mac(1)));
    EXPECT_EQ(LastYiaddr(), "10.9.9.100");
}

TEST_F(BootPTest, LowestIpv4AddressWinsAmongDuplicateArpEntries) {
    platform_.arp = {{6, Mac(9), "10.9.9.20", os::kArpTypeDynamic},
                     {5, Mac(9), "10.9.9.40", os::kArpTypeStatic}};
    Start();
    Deliver(0, Request(Mac(9)));
    ASSERT_EQ(ReplyCount(), 1u);
    EXPECT_EQ(LastYiaddr(), "10.9.9.20");
}

TEST_F(BootPTest, ArpEntriesOfAnotherLengthNeverMatch) {
    Bytes padded = Mac(9);
    padded.resize(8, 0);
    platform_.arp = {{5, {}, "10.9.9.20", os::kArpTypeInvalid}, {5, padded, "10.9.9.21"}};
    Start();
    Deliver(0, Request(Mac(9)));
    ASSERT_EQ(ReplyCount(), 1u);
    EXPECT_EQ(LastYiaddr(), "10.9.9.100");
    EXPECT_TRUE(log_.Has("CArp::LookForAddr - PhysAddrLength mismatch 6 != 0"));
    EXPECT_TRUE(log_.Has("CArp::LookForAddr - PhysAddrLength mismatch 6 != 8"));
}

TEST_F(BootPTest, HlenNineIsAnsweredFromThePoolWithoutSearchingTheArpTable) {
    Bytes nine = Mac(9);
    nine.push_back(0x42);
    nine.push_back(0x43);
    nine.push_back(0x44);
    platform_.arp = {{5, Mac(9), "10.9.9.20"}};
    Start();
    const int readsBefore = platform_.arpReads;
    Deliver(0, Request(nine, 9));
    ASSERT_EQ(ReplyCount(), 1u);
    EXPECT_EQ(LastYiaddr(), "10.9.9.100");
    EXPECT_EQ(platform_.arpReads, readsBefore);
}

TEST_F(BootPTest, HlenAboveSixteenIsBoundedByChaddr) {
    Start();
    Deliver(0, Request(Mac(9), 255));
    ASSERT_EQ(ReplyCount(), 1u);
    EXPECT_EQ(LastYiaddr(), "10.9.9.100");
    // Sixteen bytes of chaddr, nothing of sname behind it.
    EXPECT_TRUE(
        log_.Has("CArp::GetNewAddress(5) - Looking for IP for MAC 00 1a 2b 3c 4d 09 00 00 "
                 "00 00 00 00 00 00 00 00"));
}

TEST_F(BootPTest, OnlyEthernetRequestsAreAnswered) {
    Start();
    Bytes reply = Request(Mac(1));
    reply[kBootpOpOffset] = kBootpOpReply;
    Deliver(0, reply);
    Bytes tokenRing = Request(Mac(2));
    tokenRing[kBootpHtypeOffset] = 6;
    Deliver(0, tokenRing);
    EXPECT_EQ(ReplyCount(), 0u);
    EXPECT_FALSE(server_->Pool(0, 0).issued);
}

TEST_F(BootPTest, LoopbackInterfaceNeverAnswers) {
    platform_.adapters = {Adapter("lo", "127.0.0.1", 1)};
    Start();
    Deliver(0, Request(Mac(1)));
    EXPECT_EQ(ReplyCount(), 0u);
}

TEST_F(BootPTest, RequestsWithinSpacingOfConstructionOrOfTheSameRequestOnAnyInterfaceAreIgnored) {
    server_ = std::make_unique<CBootP>(context_, platform_);
    server_->DetectInterfaces();
    for (int i = 0; i < 2; ++i) {
        server_->GetHostInfo(i);
        server_->RebuildPool(i);
    }
    const Bytes request = Request(Mac(1));
    const auto send = [&](int i) {
        server_->HandleDatagram(i, request.data(), kBootpMessageSize, {0, CBootP::kClientPort});
    };
    platform_.tick += CBootP::kMinRequestSpacingMs;  // exactly 1500 ms: not more
    send(0);
    EXPECT_EQ(ReplyCount(), 0u);
    platform_.tick += 1;
    send(0);
    EXPECT_EQ(ReplyCount(), 1u);
    platform_.tick += 700;
    send(1);  // the same request, seen on another interface: answered once
    EXPECT_EQ(ReplyCount(), 1u);
    platform_.tick += 801;
    send(1);
    EXPECT_EQ(ReplyCount(), 2u);
}

// Strangers on the network: other hosts' DHCP requests, junk, floods.
class BootPStrangerTest : public BootPTest {
  protected:
    // A datagram at the current tick, without moving it.
    void Arrive(int i, const Bytes& datagram) {
        server_->HandleDatagram(i, datagram.data(), static_cast<int>(datagram.size()),
                                {0x0208090Au, CBootP::kClientPort});
    }
    Bytes Junk(std::size_t length) {
        Bytes junk(length);
        for (auto& byte : junk) {
            random_ = random_ * 1103515245u + 12345u;
            byte = static_cast<std::uint8_t>(random_ >> 16);
        }
        if (length > 0 && junk[kBootpOpOffset] == kBootpOpRequest) junk[kBootpOpOffset] = 0;
        return junk;
    }
    std::size_t RepliesOn(const std::string& destination) {
        std::size_t count = 0;
        for (const auto& reply : platform_.replies)
            count += reply.to.ToString() == destination;
        return count;
    }
    std::uint32_t random_ = 7;
};

TEST_F(BootPStrangerTest, MalformedDatagramsOfEveryKindLeaveTheBoardItsAnswer) {
    Start();
    Bytes shortOne = Request(Mac(7));
    shortOne.resize(299);
    Bytes reply = Request(Mac(7));
    reply[kBootpOpOffset] = kBootpOpReply;
    Bytes tokenRing = Request(Mac(7));
    tokenRing[kBootpHtypeOffset] = 6;
    Bytes requestThenJunk = Request(Mac(7));
    const Bytes junk = Junk(300);
    requestThenJunk.insert(requestThenJunk.end(), junk.begin(), junk.end());
    for (const Bytes& stranger : {shortOne, reply, tokenRing, requestThenJunk, Junk(9000), Bytes{}})
        Arrive(0, stranger);
    EXPECT_EQ(ReplyCount(), 0u);
    Arrive(0, Request(Mac(1)));  // at the very same tick
    ASSERT_EQ(ReplyCount(), 1u);
    EXPECT_EQ(std::memcmp(&LastReply()[kBootpChaddrOffset], Mac(1).data(), 6), 0);
}

// A busy segment on the second adapter: a junk datagram every 2 ms (mostly longer
// than a BOOTP message) and another host's well-formed request every 100 ms, while
// the board asks on the first adapter once a second for 20 s.
TEST_F(BootPStrangerTest, AFloodOnAnotherAdapterNeverKeepsTheBoardFromItsAddress) {
    Start();
    std::vector<bool> boardAnswered;
    std::uint8_t stranger = 0x80;
    for (std::uint32_t ms = 0; ms < 20000; ms += 2) {
        platform_.tick += 2;
        Arrive(1, Junk(ms % 3 == 0 ? ms % 300 : 300 + ms % 1200));
        if (ms % 100 == 0) Arrive(1, Request(Mac(stranger++)));
        if (ms % 1000 == 0) {
            const std::size_t before = RepliesOn("10.9.9.255:68");
            Arrive(0, Request(Mac(1)));
            boardAnswered.push_back(RepliesOn("10.9.9.255:68") > before);
        }
    }
    ASSERT_EQ(boardAnswered.size(), 20u);
    EXPECT_TRUE(boardAnswered.front()) << "its first request";
    for (std::size_t k = 1; k < boardAnswered.size(); ++k)  // retries inside 1.5 s are not
        EXPECT_TRUE(boardAnswered[k] || boardAnswered[k - 1]) << "request " << k;
    for (const auto& sent : platform_.replies) {
        if (sent.to.ToString() == "10.9.9.255:68") {
            EXPECT_EQ(Dotted(&sent.bytes[kBootpYiaddrOffset]), "10.9.9.100");
        }
    }
    // The strangers' requests were answered too, as a BOOTP server must, from the
    // second adapter's pool, which they used up.
    EXPECT_EQ(RepliesOn("192.168.7.255:68"), static_cast<std::size_t>(CBootP::kPoolEntries));
}

// Found by fuzzing: a host on another adapter asking with the board's own hardware
// address must not hold the board's answer back.
TEST_F(BootPStrangerTest, AHostTakingTheBoardsAddressOnAnotherAdapterDoesNotDelayIt) {
    Start();
    Bytes impostor = Request(Mac(1));
    os::store_be32(&impostor[kBootpXidOffset], 0x01020304u);
    for (int k = 0; k < 5; ++k) {
        Arrive(1, impostor);
        platform_.tick += 10;
        const std::size_t before = RepliesOn("10.9.9.255:68");
        Arrive(0, Request(Mac(1)));
        EXPECT_EQ(RepliesOn("10.9.9.255:68"), before + 1) << k;
        platform_.tick += CBootP::kMinRequestSpacingMs + 1;
    }
}

TEST_F(BootPStrangerTest, RepliesOfAnAdapterStayBoundedWhateverItIsSent) {
    std::vector<std::string> addresses;  // the rows point at their texts
    for (int k = 0; k < 100; ++k)
        addresses.push_back("10.9.9." + std::to_string(k + 1));
    for (std::uint8_t k = 0; k < 100; ++k)
        platform_.arp.push_back({5, Mac(k), addresses[k].c_str(), os::kArpTypeStatic});
    Start();
    for (std::uint8_t k = 0; k < 100; ++k)
        Arrive(0, Request(Mac(k)));
    EXPECT_EQ(ReplyCount(), static_cast<std::size_t>(CBootP::kReplyBurst));
    Arrive(1, Request(Mac(200)));  // another adapter has its own budget
    EXPECT_EQ(ReplyCount(), static_cast<std::size_t>(CBootP::kReplyBurst) + 1);
    // Then one reply per interval, however many ask: four a second.
    for (std::uint32_t ms = 0; ms < 1000; ms += 10) {
        platform_.tick += 10;
        for (std::uint8_t k = 0; k < 100; ++k)
            Arrive(0, Request(Mac(k)));
    }
    EXPECT_EQ(ReplyCount(),
              static_cast<std::size_t>(CBootP::kReplyBurst) + 1 + 1000 / CBootP::kReplyIntervalMs);
}

TEST_F(BootPStrangerTest, AFloodIsSummarisedInAFewLogLines) {
    Start();
    log_.Clear();
    constexpr int kDatagrams = 20000;
    for (int k = 0; k < kDatagrams; ++k) {
        platform_.tick += 1;
        Arrive(1, Junk(static_cast<std::size_t>(k % 700)));
    }
    Arrive(1, Request(Mac(1)));  // ends the last interval's count
    // Each interval: its first drops in full (two lines each), then one count.
    constexpr std::size_t kIntervals = kDatagrams / diag::DropSummary::kIntervalMs + 1;
    constexpr std::size_t kPerInterval = 2 * diag::DropSummary::kFullLinesPerInterval + 1;
    constexpr std::size_t kRequestLines = 10;
    EXPECT_LE(log_.All().size(), kIntervals * kPerInterval + kRequestLines);
    EXPECT_TRUE(log_.HasSubstring("CBootP::HandleRead( 1 ) - dropped: "));
    EXPECT_TRUE(log_.HasSubstring("more datagrams dropped in "));
}

TEST_F(BootPTest, SpacingHoldsAcrossAWrapOfTheTickCount) {
    platform_.tick = 0xFFFFFF00u;
    server_ = std::make_unique<CBootP>(context_, platform_);
    server_->DetectInterfaces();
    server_->GetHostInfo(0);
    server_->RebuildPool(0);
    const Bytes request = Request(Mac(1));
    platform_.tick = 0x000004D0u;  // 1488 ms after construction
    server_->HandleDatagram(0, request.data(), kBootpMessageSize, {});
    EXPECT_EQ(ReplyCount(), 0u);
    platform_.tick = 0x00000500u;  // 1536 ms
    server_->HandleDatagram(0, request.data(), kBootpMessageSize, {});
    EXPECT_EQ(ReplyCount(), 1u);
}

TEST_F(BootPTest, DatagramsAreReadInWhole300ByteBlocksTheLastOneAnswered) {
    Start();
    Bytes shortOne = Request(Mac(1));
    shortOne.resize(299);
    Deliver(0, shortOne);
    EXPECT_EQ(ReplyCount(), 0u);
    EXPECT_TRUE(log_.Has("CBootP::HandleRead - 299 bytes received from 0x00000000 port 68"));

    Deliver(0, Request(Mac(2)));
    ASSERT_EQ(ReplyCount(), 1u);

    Bytes dhcpSized = Request(Mac(3));
    dhcpSized.resize(548, 0x63);
    Deliver(0, dhcpSized);
    ASSERT_EQ(ReplyCount(), 2u);
    EXPECT_EQ(LastReply().size(), static_cast<std::size_t>(kBootpMessageSize));
    EXPECT_EQ(LastYiaddr(), "10.9.9.101");
    EXPECT_EQ(std::memcmp(&LastReply()[kBootpChaddrOffset], Mac(3).data(), 6), 0);

    Bytes two = Request(Mac(4));
    const Bytes second = Request(Mac(5));
    two.insert(two.end(), second.begin(), second.end());
    Deliver(0, two);
    ASSERT_EQ(ReplyCount(), 3u);
    EXPECT_EQ(std::memcmp(&LastReply()[kBootpChaddrOffset], Mac(5).data(), 6), 0);
}

TEST_F(BootPTest, ReplyCarriesTheAddressesBootFileAndImageHeader) {
    Start();
    Deliver(0, Request(Mac(1)));
    ASSERT_EQ(ReplyCount(), 1u);
    const Bytes& reply = LastReply();
    EXPECT_EQ(reply[kBootpOpOffset], kBootpOpReply);
    EXPECT_EQ(os::load_be32(&reply[kBootpXidOffset]), kRequestXid);
    EXPECT_STREQ(reinterpret_cast<const char*>(&reply[kBootpFileOffset]), "d:\\a.bin");
    for (int k = 0; k < kBootpVendZeroSize; ++k)
        EXPECT_EQ(reply[kBootpVendZeroOffset + k], 0) << k;
    EXPECT_EQ(std::memcmp(&reply[kBootpVendImageOffset], image_, kBootpVendImageSize), 0);
    EXPECT_TRUE(log_.Has("CBootP::SendBootP( 0 ) - sendto( -1, ...) returned 300"));
}

TEST_F(BootPTest, EveryByteOutsideTheWrittenFieldsIsTheRequests) {
    Start();
    Bytes request = Request(Mac(1));
    for (int k = 0; k < kBootpSnameSize; ++k)  // a full server name: nothing appended
        request[kBootpSnameOffset + k] = static_cast<std::uint8_t>('a' + k % 26);
    Deliver(0, request);
    ASSERT_EQ(ReplyCount(), 1u);
    const Bytes& reply = LastReply();
    const std::size_t fileNameWithZero = std::strlen(CBootP::kBootFileName) + 1;
    const auto written = [&](std::size_t i) {
        const auto inside = [i](std::size_t from, std::size_t size) {
            return i >= from && i < from + size;
        };
        return inside(kBootpOpOffset, 1) || inside(kBootpYiaddrOffset, 4) ||
               inside(kBootpSiaddrOffset, 4) || inside(kBootpFileOffset, fileNameWithZero) ||
               inside(kBootpVendZeroOffset, kBootpVendZeroSize + kBootpVendImageSize);
    };
    for (std::size_t i = 0; i < reply.size(); ++i) {
        if (!written(i)) {
            EXPECT_EQ(reply[i], request[i]) << "byte " << i;
        }
    }
}

TEST_F(BootPTest, ServerNameIsAppendedWithinItsField) {
    Start();
    Deliver(0, Request(Mac(1)));
    EXPECT_STREQ(reinterpret_cast<const char*>(&LastReply()[kBootpSnameOffset]), "BOOTPServer");

    Bytes sixty = Request(Mac(2));
    std::memset(&sixty[kBootpSnameOffset], 'x', 60);
    sixty[kBootpSnameOffset + 60] = 0;
    Deliver(0, sixty);
    const std::string name(reinterpret_cast<const char*>(&LastReply()[kBootpSnameOffset]),
                           kBootpSnameSize);
    EXPECT_EQ(name, std::string(60, 'x') + "BOOT");
    EXPECT_STREQ(reinterpret_cast<const char*>(&LastReply()[kBootpFileOffset]), "d:\\a.bin");
}

TEST_F(BootPTest, FailedSendIsReportedAndTheEntryStaysIssued) {
    platform_.adapters = {Adapter("a", "10.1.1.1", 1), Adapter("b", "10.1.2.1", 2),
                          Adapter("c", "10.1.3.1", 3), Adapter("d", "10.1.4.1", 4)};
    platform_.interfaceCount = 5;
    platform_.sendError = os::kWsaEWouldBlock;
    Start();
    Deliver(3, Request(Mac(1)));
    EXPECT_TRUE(
        log_.Has("CBootP::SendBootP( 3 ) - sendto returned an error WSAEWOULDBLOCK.  Error "
                 "number " +
                 std::to_string(os::kWsaEWouldBlock) + "\n"));
    EXPECT_TRUE(log_.Has("CBootP::SendBootP( 3 ) - sendto( -1, ...) returned -1"));
    EXPECT_TRUE(server_->Pool(3, 0).issued);
}

TEST_F(BootPTest, InterfaceWithoutAUsableAddressIsNotServed) {
    platform_.adapters = {Adapter("eth0", "0.0.0.0", 1), Adapter("eth1", "not an address", 2)};
    Start();
    EXPECT_EQ(server_->InterfaceAddress(0), 0u);
    EXPECT_EQ(server_->InterfaceAddress(1), os::kInaddrNone);
    // The thread ends at once, before any socket exists, and is still joined.
    EXPECT_EQ(server_->Init(), 0);
    EXPECT_EQ(server_->StopAll(), 0);
    EXPECT_EQ(server_->ExitCode(0), -1);
    EXPECT_EQ(server_->ExitCode(1), -1);
    EXPECT_FALSE(server_->IsRunning(0));
    EXPECT_TRUE(log_.Has("CBootP::Init - spawning thread 1"));
    EXPECT_FALSE(log_.HasSubstring("bound socket"));
}

TEST_F(BootPTest, InitWhileItsThreadsRunLeavesThemTheirAdapterList) {
    platform_.adapters = {Adapter("eth0", "0.0.0.0", 1)};  // ends before any socket
    MakeServer();
    platform_.HoldHostName(true);
    server_->Init();
    ASSERT_TRUE(platform_.WaitForHostNameCalls(1));  // its thread is starting up
    platform_.adapters = {Adapter("eth9", "0.0.0.0", 9), Adapter("eth8", "0.0.0.0", 8)};
    server_->Init();
    ASSERT_EQ(server_->Adapters().size(), 1u);
    EXPECT_STREQ(server_->Adapters()[0].name, "eth0");
    EXPECT_TRUE(log_.Has("CBootP::Init - still serving the adapters found before; StopAll first"));
    platform_.HoldHostName(false);
    server_->StopAll();

    // Once stopped, a new Init finds the adapters as they are now.
    server_->Init();
    EXPECT_EQ(server_->Adapters().size(), 2u);
    server_->StopAll();
}

TEST_F(BootPTest, HostNameFailureIsLoggedAndLeavesTheAddress) {
    platform_.hostNameResult = -1;
    Start();
    EXPECT_TRUE(log_.Has("CBootP::GetHostInfo - gethostname returned -1"));
    EXPECT_EQ(server_->InterfaceAddress(0), 0u);
}

TEST_F(BootPTest, DetectionLogsTheAdaptersAndLoadsOneArpTableEach) {
    Start();
    EXPECT_EQ(server_->InterfaceCount(), 2u);
    EXPECT_TRUE(log_.Has(
        "CBootP::DetectInterfaces - GetNumberOfInterfaces returns: 3 (includes loopback device)"));
    EXPECT_TRUE(
        log_.Has("CBootP::DetectInterfaces - GetAdaptersInfo 1 found adapter eth1\ntest "
                 "adapter eth1.\n"));
    EXPECT_TRUE(log_.Has("CBootP::DetectInterfaces - Only 2 of 3 interfaces found. Truncating."));
    EXPECT_EQ(server_->Arp(0).AdapterIndex(), 5);
    EXPECT_EQ(server_->Arp(1).AdapterIndex(), 6);
    EXPECT_EQ(server_->Arp(2).AdapterIndex(), -1);
}

TEST_F(BootPTest, TooSmallAdapterRoomIsAskedAgainWithTheSizeThePlatformWants) {
    platform_.interfaceCount = 0;  // as Wine answers
    Start();
    EXPECT_EQ(platform_.listCalls, 2);
    EXPECT_EQ(server_->InterfaceCount(), 2u);
    EXPECT_TRUE(log_.Has("CBootP::DetectInterfaces - Only 2 of 0 interfaces found. Truncating."));
}

TEST_F(BootPTest, FailedAdapterQueryServesNoInterface) {
    platform_.listError = os::kErrorNoData;
    Start();
    EXPECT_EQ(server_->InterfaceCount(), 0u);
    EXPECT_TRUE(
        log_.Has("CBootP::DetectInterfaces - GetAdaptersInfo returned an error "
                 "ERROR_NO_DATA.  Error number 232\n"));
    EXPECT_FALSE(server_->StartThread(0));
    EXPECT_TRUE(log_.Has("StartThread(0) - out of bounds"));
}

TEST_F(BootPTest, FailedInterfaceCountServesNoInterface) {
    platform_.interfaceCountError = 50;
    Start();
    EXPECT_EQ(server_->InterfaceCount(), 0u);
    EXPECT_EQ(platform_.listCalls, 0);
    EXPECT_TRUE(log_.Has("CBootP::DetectInterfaces - GetNumberOfInterfaces returned error: 50"));
}

TEST_F(BootPTest, AtMostSixtyFourAdaptersAreServed) {
    platform_.adapters.clear();
    for (std::uint32_t n = 0; n < 70; ++n)
        platform_.adapters.push_back(Adapter("eth", "0.0.0.0", n + 1));
    platform_.interfaceCount = 71;
    Start();
    EXPECT_EQ(server_->InterfaceCount(), 64u);
    EXPECT_EQ(server_->Arp(63).AdapterIndex(), 64);
}

TEST_F(BootPTest, SecondDetectionFreesTheEarlierList) {
    Start();
    server_->DetectInterfaces();
    EXPECT_TRUE(log_.Has("m_sAdapterInfo not NULL"));
}

// The reporters, as their lines read.
class BootPReportTest : public BootPTest {};

TEST_F(BootPReportTest, BindErrorNamesTheCodeFromTheThreadsLastSocketError) {
    os::SetLastSocketError(os::kWsaEAddrInUse);
    CBootP::ReportBindError(0, "CBootP::InitializeBootP( 0 ) IP 0x0109090a  Port 67");
    EXPECT_TRUE(
        log_.Has("CBootP::InitializeBootP( 0 ) IP 0x0109090a  Port 67 - bind returned an "
                 "error WSAEADDRINUSE.  Error number " +
                 std::to_string(os::kWsaEAddrInUse) + "\n"));
}

TEST_F(BootPReportTest, CodeOutsideTheTableFallsBackToTheSystemText) {
    os::SetLastSocketError(os::kWsaEIntr);  // only the send table lists it
    CBootP::ReportBindError(0, "ctx");
    const std::string expected = "ctx - bind returned an error number " +
                                 std::to_string(os::kWsaEIntr) + " -> " +
                                 os::SystemErrorText(os::kWsaEIntr) + "\n";
    EXPECT_FALSE(os::SystemErrorText(os::kWsaEIntr).empty());
    EXPECT_TRUE(log_.Has(expected)) << expected;
}

TEST_F(BootPReportTest, CodeZeroWritesNothing) {
    os::SetLastSocketError(0);
    CBootP::ReportBindError(os::kWsaEAddrInUse, "ctx");
    CBootP::ReportSendToError(os::kWsaEWouldBlock, "ctx");
    Start();
    log_.Clear();
    server_->ReportAdaptersInfoError(0, "ctx");
    EXPECT_TRUE(log_.All().empty());
}

TEST_F(BootPReportTest, AdapterQueryFallbackCarriesTheLastSystemError) {
    Start();
    platform_.lastSystemError = 5;
    server_->ReportAdaptersInfoError(1234, "CBootP::DetectInterfaces");
    const std::string expected =
        "CBootP::DetectInterfaces - GetAdaptersInfo returned an error 1234.  Error number 5 -> " +
        os::SystemErrorText(5) + "\n";
    EXPECT_TRUE(log_.Has(expected)) << expected;
}

TEST_F(BootPReportTest, EveryAdapterQueryCodeHasItsOwnLine) {
    Start();
    for (const auto& [code, name] :
         std::vector<std::pair<int, std::string>>{{111, "ERROR_BUFFER_OVERFLOW"},
                                                  {87, "ERROR_INVALID_PARAMETER"},
                                                  {232, "ERROR_NO_DATA"},
                                                  {50, "ERROR_NOT_SUPPORTED"}}) {
        server_->ReportAdaptersInfoError(code, "ignored");
        EXPECT_TRUE(log_.Has("CBootP::DetectInterfaces - GetAdaptersInfo returned an error " +
                             name + ".  Error number " + std::to_string(code) + "\n"))
            << code;
    }
}

}  // namespace
}  // namespace net

namespace net {
namespace {

// A run of many boards narrows who is answered: a hardware prefix keeps strangers'
// DHCP clients out, and boards already programmed are never answered again.
class BootPAdmissionTest : public BootPTest {
  protected:
    void StartWith(BootpAdmission admission) {
        Start();
        server_->SetAdmission(std::move(admission));
    }
    int IgnoredLines(const std::string& address) {
        int count = 0;
        for (const std::string& line : log_.All())
            count += line.find("not answering " + address) != std::string::npos ? 1 : 0;
        return count;
    }
};

TEST_F(BootPAdmissionTest, OnlyTheHardwarePrefixIsAnsweredAndEachStrangerIsLoggedOnce) {
    StartWith({{0x00, 0x1a, 0x2b}, {}, {}});
    const Bytes stranger = {0x00, 0x1a, 0x2c, 0x3c, 0x4d, 0x01};  // differs in the last prefix byte
    for (int attempt = 0; attempt < 5; ++attempt)
        Deliver(0, Request(stranger));
    EXPECT_EQ(ReplyCount(), 0u);
    EXPECT_EQ(IgnoredLines("00-1A-2C-3C-4D-01"), 1);

    Deliver(0, Request(Mac(1)));
    ASSERT_EQ(ReplyCount(), 1u);
    EXPECT_EQ(LastYiaddr(), "10.9.9.100");  // the stranger took no pool entry
}

TEST_F(BootPAdmissionTest, ABoardProgrammedEarlierInTheRunIsNeverAnsweredAgain) {
    const Bytes programmed = Mac(1);
    EthernetAddress excluded{};
    std::copy(programmed.begin(), programmed.end(), excluded.begin());
    StartWith({{}, {excluded}, {}});
    for (int i : {0, 1, 0})
        Deliver(i, Request(programmed));
    EXPECT_EQ(ReplyCount(), 0u);
    EXPECT_EQ(IgnoredLines("00-1A-2B-3C-4D-01"), 1);

    Deliver(0, Request(Mac(2)));
    EXPECT_EQ(ReplyCount(), 1u);
}

TEST_F(BootPAdmissionTest, OnceTheJobHasItsBoardOnlyItIsAnsweredAndWithoutOneNobody) {
    StartWith({});
    Deliver(0, Request(Mac(1)));
    ASSERT_EQ(ReplyCount(), 1u);
    EthernetAddress board{};
    const Bytes mac = Mac(1);
    std::copy(mac.begin(), mac.end(), board.begin());
    server_->AdmitOnly(board);
    Deliver(0, Request(Mac(2)));  // the next board, fitted early
    EXPECT_EQ(ReplyCount(), 1u);
    Deliver(0, Request(Mac(1)));  // the board itself, having missed its reply
    EXPECT_EQ(ReplyCount(), 2u);
    server_->AdmitOnly(std::nullopt);
    Deliver(0, Request(Mac(1)));
    Deliver(0, Request(Mac(3)));
    EXPECT_EQ(ReplyCount(), 2u);
    EXPECT_EQ(IgnoredLines("00-1A-2B-3C-4D-02"), 1);
}

// Which pool address a new board (Mac(1), absent from the ARP table unless a case
// says so) is given on eth0, when some are refused in the run or held in the ARP table.
TEST_F(BootPAdmissionTest, ThePoolSkipsRefusedAddressesAndThoseOtherHardwareHolds) {
    struct Case {
        const char* name;
        std::vector<const char*> refused;
        std::vector<ArpRow> arp;
        const char* given;  // "" for no reply
    };
    std::vector<std::string> pool;
    for (int host = CBootP::kFirstPoolHost; host < CBootP::kFirstPoolHost + 10; ++host)
        pool.push_back("10.9.9." + std::to_string(host));
    std::vector<const char*> everyPoolAddress;
    std::vector<ArpRow> everyPoolAddressHeld;
    for (const std::string& address : pool) {
        everyPoolAddress.push_back(address.c_str());
        everyPoolAddressHeld.push_back({5, Mac(0x77), address.c_str()});
    }
    const std::vector<Case> cases = {
        {"a refused address is skipped", {"10.9.9.100"}, {}, "10.9.9.101"},
        {"an address other hardware holds is skipped",
         {},
         {{5, Mac(0x77), "10.9.9.100"}},
         "10.9.9.101"},
        {"an entry that never resolved holds it for nobody",
         {},
         {{5, {}, "10.9.9.100", os::kArpTypeInvalid},
          {6, Mac(0x77), "10.9.9.100", os::kArpTypeInvalid}},
         "10.9.9.100"},
        {"refused, then held", {"10.9.9.100"}, {{5, Mac(0x77), "10.9.9.101"}}, "10.9.9.102"},
        {"every free address held: the lowest, the table being only a hint",
         {},
         everyPoolAddressHeld,
         "10.9.9.100"},
        {"every free address held: the lowest not refused",
         {"10.9.9.100"},
         everyPoolAddressHeld,
         "10.9.9.101"},
        {"every address refused: no reply", everyPoolAddress, {}, ""},
        {"the ARP table's own address for the board is refused: a pool address",
         {"10.9.9.20"},
         {{5, Mac(1), "10.9.9.20"}},
         "10.9.9.100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform_.replies.clear();
        platform_.arp = c.arp;
        BootpAdmission admission;
        for (const char* address : c.refused)
            admission.refusedAddresses.push_back(os::InetAddr(address));
        StartWith(admission);
        Deliver(0, Request(Mac(1)));
        ASSERT_LE(ReplyCount(), 1u);
        EXPECT_EQ(ReplyCount() == 0 ? "" : LastYiaddr(), c.given);
    }
}

TEST_F(BootPAdmissionTest, IgnoredAddressesAreLoggedUpToALimit) {
    StartWith({{0x02}, {}, {}});
    for (int i = 0; i < CBootP::kIgnoredLogged + 10; ++i)
        Deliver(0, Request({0x00, 0x1a, 0x2b, 0x3c, static_cast<std::uint8_t>(i / 256),
                            static_cast<std::uint8_t>(i)}));
    int lines = 0;
    for (const std::string& line : log_.All())
        lines += line.find("not answering") != std::string::npos ? 1 : 0;
    EXPECT_EQ(lines, CBootP::kIgnoredLogged);
    EXPECT_EQ(ReplyCount(), 0u);
}

}  // namespace
}  // namespace net

namespace net {
namespace {

// Adapters that come and go while the server runs. The interface threads run whole,
// on loopback sockets; a board has its address on eth0 before anything changes.
class BootPRescanTest : public BootPTest {
  protected:
    class Changes final : public ServiceEvents {
      public:
        void OnAdapterChanged(const AdapterChange& change) override {
            std::lock_guard lock(mutex_);
            seen_.push_back((change.served ? "+" : "-") + change.adapterName + " " +
                            change.adapterAddress +
                            (change.reason.empty() ? "" : ": " + change.reason));
            changed_.notify_all();
        }
        void Clear() {
            std::lock_guard lock(mutex_);
            seen_.clear();
        }
        std::vector<std::string> WaitFor(std::size_t count) {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, std::chrono::seconds(10),
                              [&] { return seen_.size() >= count; });
            return seen_;
        }

      private:
        std::mutex mutex_;
        std::condition_variable changed_;
        std::vector<std::string> seen_;
    };

    static bool Eventually(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    void Serve(std::vector<os::AdapterInfo> adapters) {
        platform_.SetAdapters(std::move(adapters));
        MakeServer();
        server_->SetEvents(&changes_);
        server_->Init();
        ASSERT_TRUE(Eventually([this] { return server_->InterfacesSettled(); }));
        platform_.tick += kPastGate;
        SendTo("eth0", Request(Mac(1)));
        ASSERT_TRUE(Eventually([this] { return platform_.RepliesTo("10.9.9.255:68") == 1; }));
    }

    void SendTo(const std::string& adapter, const Bytes& datagram) {
        os::UdpSocket socket;
        ASSERT_TRUE(socket.Open());
        const os::SocketAddress to{os::InetAddr("127.0.0.1"), platform_.Port(adapter)};
        ASSERT_EQ(socket.SendTo(datagram.data(), static_cast<int>(datagram.size()), to),
                  static_cast<int>(datagram.size()));
    }

    std::vector<std::string> Served() {
        std::vector<std::string> names;
        for (const os::AdapterInfo& adapter : server_->ServedAdapters())
            names.push_back(adapter.name);
        return names;
    }

    // Eth0 kept its thread, its pool and its board's spacing: the board asking again
    // at once is a retry.
    void ExpectEth0Undisturbed() {
        EXPECT_EQ(platform_.Binds("eth0"), 1);
        EXPECT_TRUE(server_->IsRunning(0));
        EXPECT_TRUE(server_->Pool(0, 0).issued);
        SendTo("eth0", Request(Mac(1)));
        EXPECT_TRUE(Eventually([this] {
            return log_.HasSubstring("dropped: this client was answered less than 1.5 s ago");
        }));
    }

    Changes changes_;
};

const os::AdapterInfo kEth0 = Adapter("eth0", "10.9.9.1", 5);
const os::AdapterInfo kEth1 = Adapter("eth1", "192.168.7.33", 6);
const os::AdapterInfo kEth1Bare = Adapter("eth1", "0.0.0.0", 6);
const os::AdapterInfo kUsb0 = Adapter("usb0", "10.7.7.1", 9);

struct RescanCase {
    const char* what;
    std::vector<os::AdapterInfo> before;
    std::vector<os::AdapterInfo> after;
    std::uint32_t listError;
    std::vector<std::string> refuseBind;
    std::vector<std::string> served;
    std::vector<std::string> changes;
};

TEST_F(BootPRescanTest, EachRescanServesTheListAsItIsAndLeavesTheOthersAlone) {
    const std::vector<RescanCase> cases = {
        {"an adapter appears with an address",
         {kEth0, kEth1},
         {kEth0, kEth1, kUsb0},
         0,
         {},
         {"eth0", "eth1", "usb0"},
         {"+usb0 10.7.7.1"}},
        {"an adapter appears without one",
         {kEth0, kEth1},
         {kEth0, kEth1, Adapter("usb0", "0.0.0.0", 9)},
         0,
         {},
         {"eth0", "eth1"},
         {}},
        {"a media-disconnected adapter gets its address",
         {kEth0, kEth1Bare},
         {kEth0, kEth1},
         0,
         {},
         {"eth0", "eth1"},
         {"+eth1 192.168.7.33"}},
        {"an adapter loses its address",
         {kEth0, kEth1},
         {kEth0, kEth1Bare},
         0,
         {},
         {"eth0"},
         {"-eth1 192.168.7.33: it has no IPv4 address now"}},
        {"an adapter vanishes",
         {kEth0, kEth1},
         {kEth0},
         0,
         {},
         {"eth0"},
         {"-eth1 192.168.7.33: the adapter is gone"}},
        {"an adapter's address changes",
         {kEth0, kEth1},
         {kEth0, Adapter("eth1", "192.168.8.33", 6)},
         0,
         {},
         {"eth0", "eth1"},
         {"-eth1 192.168.7.33: its address is now 192.168.8.33", "+eth1 192.168.8.33"}},
        {"an adapter is plugged in again under a new index",
         {kEth0, kEth1},
         {kEth0, Adapter("eth1", "192.168.7.33", 7)},
         0,
         {},
         {"eth0", "eth1"},
         {"-eth1 192.168.7.33: the adapter is gone", "+eth1 192.168.7.33"}},
        {"the list cannot be read for now",
         {kEth0, kEth1},
         {},
         os::kErrorNotSupported,
         {},
         {"eth0", "eth1"},
         {}},
        {"a new adapter's port 67 is taken",
         {kEth0, kEth1},
         {kEth0, kEth1, kUsb0},
         0,
         {"usb0"},
         {"eth0", "eth1"},
         {}},
    };
    for (const RescanCase& c : cases) {
        SCOPED_TRACE(c.what);
        log_.Clear();
        changes_.Clear();
        platform_.binds.clear();
        platform_.refuseBind = {c.refuseBind.begin(), c.refuseBind.end()};
        Serve(c.before);
        platform_.SetAdapters(c.after, c.listError);
        server_->Rescan();
        server_->Rescan();  // a second look at the same list changes nothing
        EXPECT_EQ(changes_.WaitFor(c.changes.size()), c.changes);
        EXPECT_TRUE(Eventually([this] { return server_->InterfacesSettled(); }));
        EXPECT_EQ(Served(), c.served);
        ExpectEth0Undisturbed();
        for (std::size_t i = 0; i < c.before.size(); ++i) {
            const std::string name = c.before[i].name;
            if (std::find(c.served.begin(), c.served.end(), name) != c.served.end()) continue;
            EXPECT_FALSE(server_->IsRunning(static_cast<int>(i))) << name;  // joined
            EXPECT_EQ(server_->ExitCode(static_cast<int>(i)), 0) << name;   // its socket closed
        }
        for (const std::string& name : c.refuseBind)
            EXPECT_EQ(platform_.Binds(name), 1) << name << " is not tried again";
        const std::vector<std::string> lines = log_.All();
        const auto failureLines = std::count_if(lines.begin(), lines.end(), [](const auto& line) {
            return line.find("the adapter list cannot be read") != std::string::npos;
        });
        EXPECT_EQ(failureLines, c.listError != 0 ? 1 : 0);
        server_->StopAll();
        EXPECT_EQ(server_->ListeningInterfaces(), 0);
        server_.reset();
        platform_.replies.clear();
    }
}

TEST_F(BootPRescanTest, TheRescanThreadServesAnAdapterThatGetsItsAddressAndStopAllJoinsIt) {
    platform_.SetAdapters({Adapter("eth0", "0.0.0.0", 5)});
    MakeServer();
    server_->SetEvents(&changes_);
    server_->SetRescanIntervalMs(20);
    server_->Init();
    ASSERT_TRUE(Eventually([this] { return server_->InterfacesSettled(); }));
    EXPECT_EQ(server_->ListeningInterfaces(), 0);
    platform_.SetAdapters({kEth0});
    EXPECT_EQ(changes_.WaitFor(1), std::vector<std::string>{"+eth0 10.9.9.1"});
    EXPECT_EQ(server_->ListeningInterfaces(), 1);
    server_->StopAll();
    EXPECT_EQ(server_->ListeningInterfaces(), 0);
    server_->Init();  // nothing of the first run is alive
    EXPECT_FALSE(log_.HasSubstring("still serving the adapters found before"));
    server_->StopAll();
}

TEST_F(BootPRescanTest, AnAdapterBeyondTheSixtyFourSlotsIsNotServed) {
    std::vector<os::AdapterInfo> adapters;
    for (std::uint32_t n = 0; n < CBootP::kInterfaceSlots; ++n)
        adapters.push_back(Adapter("eth", "0.0.0.0", n + 1));
    platform_.SetAdapters(adapters);
    platform_.interfaceCount = CBootP::kInterfaceSlots;
    MakeServer();
    server_->DetectInterfaces();
    adapters.push_back(kUsb0);
    platform_.SetAdapters(adapters);
    server_->Rescan();
    server_->Rescan();
    EXPECT_EQ(platform_.Binds("usb0"), 0);
    int lines = 0;
    for (const std::string& line : log_.All())
        lines += line.find("usb0 (10.7.7.1) is not served: all 64 slots are in use") !=
                 std::string::npos;
    EXPECT_EQ(lines, 1);
}

}  // namespace
}  // namespace net
