// The link's repeat timing on a fake clock: each case drives the timer as CUdpServer's
// threads do (a send, an acknowledgement, the send thread's waits), at chosen
// milliseconds, without sleeping.
#include "net/CRetransmitTimer.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace net {
namespace {

constexpr std::uint32_t kPeriod = CRetransmitTimer::kRetransmitMs;

TEST(RetransmitTimer, FirstRepeatIsDueExactlyOnePeriodAfterTheSend) {
    CRetransmitTimer timer;
    timer.Sent(1000);
    EXPECT_EQ(timer.Retries(), 0);
    EXPECT_FALSE(timer.IsRepeatDue(1000));
    EXPECT_EQ(timer.MsUntilRepeat(1000), kPeriod);
    EXPECT_FALSE(timer.IsRepeatDue(1000 + kPeriod - 1));
    EXPECT_EQ(timer.MsUntilRepeat(1000 + kPeriod - 1), 1u);
    EXPECT_TRUE(timer.IsRepeatDue(1000 + kPeriod));
    EXPECT_EQ(timer.MsUntilRepeat(1000 + kPeriod), 0u);
    EXPECT_EQ(timer.MsUntilRepeat(1000 + 5 * kPeriod), 0u);  // long overdue: still due now
}

// The receive thread sends the next entry on an acknowledgement late in the last
// datagram's period: the new datagram gets a whole period of its own.
TEST(RetransmitTimer, DatagramSentLateInTheLastOnesPeriodIsTimedFromItsOwnSend) {
    CRetransmitTimer timer;
    timer.Sent(1000);
    const std::uint32_t secondSent = 1000 + kPeriod - 5;
    timer.Sent(secondSent);
    EXPECT_FALSE(timer.IsRepeatDue(1000 + kPeriod));
    EXPECT_EQ(timer.MsUntilRepeat(1000 + kPeriod), kPeriod - 5);
    EXPECT_FALSE(timer.IsRepeatDue(secondSent + kPeriod - 1));
    EXPECT_TRUE(timer.IsRepeatDue(secondSent + kPeriod));
}

TEST(RetransmitTimer, EachRepeatCountsARetryAndIsTimedFromTheRepeatBefore) {
    CRetransmitTimer timer;
    timer.Sent(0);
    std::uint32_t now = 0;
    for (std::uint16_t retry = 1; retry <= 4; ++retry) {
        now += kPeriod + 3;  // the send thread woke a little late
        ASSERT_TRUE(timer.IsRepeatDue(now));
        EXPECT_EQ(timer.Repeated(now), retry);
        EXPECT_EQ(timer.Retries(), retry);
        EXPECT_FALSE(timer.IsRepeatDue(now + kPeriod - 1));
        EXPECT_EQ(timer.MsUntilRepeat(now), kPeriod);
    }
    // The next datagram starts again from no retries.
    timer.Sent(now + 10);
    EXPECT_EQ(timer.Retries(), 0);
    EXPECT_EQ(timer.Repeated(now + 10 + kPeriod), 1);
}

TEST(RetransmitTimer, RetryCountWrapsAtSixteenBitsAsTheHeaderFieldDoes) {
    CRetransmitTimer timer;
    timer.Sent(0);
    std::uint32_t now = 0;
    for (int retry = 1; retry <= 0xFFFF; ++retry)
        timer.Repeated(now += kPeriod);
    EXPECT_EQ(timer.Retries(), 0xFFFF);
    EXPECT_EQ(timer.Repeated(now + kPeriod), 0);
}

// The acknowledgement that finds no entry gives the credit back: the send thread,
// waiting out the acknowledged datagram's period, stops at once and waits for an
// entry instead, so an entry queued just after goes out at once rather than after
// what is left of that period; and the entry gets a whole period of its own.
TEST(RetransmitTimer, CreditBackOnAnAcknowledgementEndsTheWaitForTheRepeat) {
    CRetransmitTimer timer;
    timer.Sent(2000);
    EXPECT_FALSE(timer.IsCreditUnused());
    EXPECT_EQ(timer.RepeatWaitMs(2010), kPeriod - 10);  // the credit is out

    timer.NoteCreditUnused();  // acknowledged at 2010, the queue empty
    EXPECT_TRUE(timer.IsCreditUnused());
    EXPECT_EQ(timer.RepeatWaitMs(2010), 0u);
    timer.ClearCreditUnused();  // the send thread saw it, and now holds the credit:
    EXPECT_FALSE(timer.IsCreditUnused());
    // nothing outstanding, so it waits for an entry (which wakes it), not a period
    EXPECT_EQ(CRetransmitTimer::EntryWaitMs(false), CRetransmitTimer::kIdleSendWaitMs);
    EXPECT_EQ(CRetransmitTimer::EntryWaitMs(true), kPeriod);

    timer.Sent(2011);  // the entry queued just after the acknowledgement
    EXPECT_EQ(timer.Retries(), 0);
    EXPECT_EQ(timer.RepeatWaitMs(2011), kPeriod);
    EXPECT_FALSE(timer.IsRepeatDue(2000 + kPeriod));
    EXPECT_TRUE(timer.IsRepeatDue(2011 + kPeriod));
}

// Start after a Stop: a datagram still outstanding is repeated a period after the
// start, counting on from its retries; a credit noted before the stop is forgotten.
TEST(RetransmitTimer, RestartTimesTheOutstandingRepeatFromTheStartAndKeepsItsRetries) {
    CRetransmitTimer timer;
    timer.Sent(100);
    timer.Repeated(100 + kPeriod);
    timer.NoteCreditUnused();
    timer.Restart(5000);
    EXPECT_FALSE(timer.IsCreditUnused());
    EXPECT_EQ(timer.Retries(), 1);
    EXPECT_FALSE(timer.IsRepeatDue(5000 + kPeriod - 1));
    EXPECT_EQ(timer.Repeated(5000 + kPeriod), 2);
}

TEST(RetransmitTimer, RepeatsKeepTheirPeriodAcrossTheTickWrap) {
    CRetransmitTimer timer;
    const std::uint32_t sent = 0xFFFFFFF0u;  // 16 ms before the wrap
    timer.Sent(sent);
    EXPECT_FALSE(timer.IsRepeatDue(0xFFFFFFFFu));
    EXPECT_FALSE(timer.IsRepeatDue(0));
    EXPECT_EQ(timer.MsUntilRepeat(0), kPeriod - 16);
    const std::uint32_t due = sent + kPeriod;  // wraps to 34
    EXPECT_EQ(due, 34u);
    EXPECT_FALSE(timer.IsRepeatDue(due - 1));
    EXPECT_TRUE(timer.IsRepeatDue(due));

    timer.Repeated(0xFFFFFFFFu);  // a repeat just before the wrap
    EXPECT_EQ(timer.MsUntilRepeat(0), kPeriod - 1);
    EXPECT_TRUE(timer.IsRepeatDue(kPeriod - 1));
}

}  // namespace
}  // namespace net
