// Who sends what, when: an acknowledgement that finds entries waiting sends the next
// one from the receive thread, while the send thread keeps the repeat timer and sends
// what finds the link idle. These tests pin down the timing that split must keep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "net/CUdpServer.h"
#include "os/clock.h"
#include "tests/support/LoopbackBoard.h"

namespace net {
namespace {

constexpr int kTrials = 3;
// A repeat comes a whole period after the datagram it repeats; allow for the test
// thread reading the first copy late.
constexpr std::uint32_t kShortestRepeatGapMs = CUdpServer::kRetransmitMs - 10;
// An entry queued on an idle link goes out at once, far inside one repeat period.
constexpr std::uint32_t kPromptSendMs = CUdpServer::kRetransmitMs / 2;

class UdpServerSendPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server_.SetPort(0);
        ASSERT_TRUE(server_.Start());
        port_ = server_.LocalAddress().port;
        board_.SendTo(port_, 0);  // the server learns where the board is
        ASSERT_TRUE(WaitUntil([&] { return server_.Stats().rxDatagrams == 1; }));
    }

    void Queue(const Bytes& message) {
        int length = static_cast<int>(message.size());
        ASSERT_TRUE(server_.Send(message.data(), length));
    }

    // The next datagram that is not a repeat of `seq`.
    std::optional<Datagram> ReceiveAfter(std::uint32_t seq) {
        std::optional<Datagram> datagram;
        do {
            datagram = board_.Receive();
        } while (datagram && datagram->Seq() == seq);
        return datagram;
    }

    LogCapture log_;
    CUdpServer server_;
    TestBoard board_;
    std::uint16_t port_ = 0;
};

TEST_F(UdpServerSendPathTest, DatagramSentOnAnAcknowledgementIsRepeatedAWholePeriodLater) {
    std::uint32_t longestGapMs = 0;
    std::uint32_t seq = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        Queue({1});
        Queue({2});
        const auto first = ReceiveAfter(seq);
        ASSERT_TRUE(first);
        // Late in the first datagram's period, so a repeat timed from it would come
        // soon after the second datagram.
        os::SleepMs(CUdpServer::kRetransmitMs - 15);
        board_.SendTo(port_, first->Seq());
        const auto second = ReceiveAfter(first->Seq());
        ASSERT_TRUE(second);
        const std::uint32_t sentAt = os::TickCountMs();
        EXPECT_EQ(second->Retries(), 0);
        const auto repeat = board_.Receive();
        ASSERT_TRUE(repeat);
        ASSERT_EQ(repeat->Seq(), second->Seq());
        EXPECT_EQ(repeat->Retries(), 1);
        longestGapMs = std::max(longestGapMs, os::TickCountMs() - sentAt);
        board_.SendTo(port_, second->Seq());
        seq = second->Seq();
        ASSERT_TRUE(WaitUntil([&] { return server_.LastAckSeq() == seq; }));
        board_.Drain();
    }
    EXPECT_GE(longestGapMs, kShortestRepeatGapMs);
}

TEST_F(UdpServerSendPathTest, EntryQueuedJustAfterTheLastAcknowledgementGoesOutAtOnce) {
    std::uint32_t shortestDelayMs = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t seq = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        Queue({3});
        const auto datagram = ReceiveAfter(seq);
        ASSERT_TRUE(datagram);
        seq = datagram->Seq();
        board_.SendTo(port_, seq);
        ASSERT_TRUE(WaitUntil([&] { return server_.LastAckSeq() == seq; }));
        const std::uint32_t queuedAt = os::TickCountMs();
        Queue({4});
        const auto next = ReceiveAfter(seq);
        ASSERT_TRUE(next);
        shortestDelayMs = std::min(shortestDelayMs, os::TickCountMs() - queuedAt);
        EXPECT_EQ(next->Retries(), 0);
        EXPECT_EQ(next->Payload(), Bytes{4});
        seq = next->Seq();
        board_.SendTo(port_, seq);
        ASSERT_TRUE(WaitUntil([&] { return server_.LastAckSeq() == seq; }));
    }
    EXPECT_LT(shortestDelayMs, kPromptSendMs);
}

TEST_F(UdpServerSendPathTest, PromptlyAcknowledgedBurstArrivesWholeInOrderAndEachSentOnce) {
    constexpr std::size_t kMessages = 300;
    for (std::size_t i = 0; i < kMessages; ++i)
        Queue({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8)});
    const std::vector<Bytes> received = board_.ReceiveMessages(port_, kMessages);
    ASSERT_EQ(received.size(), kMessages);
    for (std::size_t i = 0; i < kMessages; ++i)
        EXPECT_EQ(received[i],
                  (Bytes{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8)}));
    EXPECT_TRUE(WaitUntil([&] { return server_.LastAckSeq() == kMessages; }));
    EXPECT_EQ(server_.Stats().txDatagrams, kMessages);
    EXPECT_EQ(server_.Stats().txErrors, 0u);
}

}  // namespace
}  // namespace net
