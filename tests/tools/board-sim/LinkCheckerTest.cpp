#include "tools/board-sim/LinkChecker.h"

#include <gtest/gtest.h>

#include "tests/tools/board-sim/link_datagrams.h"

namespace board_sim {
namespace {

using testing::Bytes;
using testing::Datagram;
using testing::Message;

const Bytes kValue = Message(kCommandValue, {1, 2, 3, 4});
const Bytes kOtherValue = Message(kCommandValue, {5, 6, 7, 8});

Bytes ValueDatagram(std::uint32_t seq, std::uint16_t retries = 0) {
    return Datagram(seq, retries, kValue);
}

// Only the named faults are set.
void ExpectOnly(const HeaderFaults& faults, bool length, bool check, bool type, bool ack) {
    EXPECT_EQ(faults.length, length);
    EXPECT_EQ(faults.check, check);
    EXPECT_EQ(faults.type, type);
    EXPECT_EQ(faults.ack, ack);
    EXPECT_FALSE(faults.seq);
    EXPECT_FALSE(faults.retries);
}

TEST(LinkCheckerFraming, WellFormedDatagramHasNoFault) {
    LinkChecker checker;
    const DatagramCheck check = checker.Check(ValueDatagram(1));
    EXPECT_FALSE(check.faults.Any());
    EXPECT_TRUE(check.headerRead);
    EXPECT_EQ(check.verdict, DatagramVerdict::kAccept);
}

TEST(LinkCheckerFraming, EachHeaderFieldFaultIsNamedAndRefused) {
    struct Case {
        const char* name;
        std::size_t offset;
        bool wide;
        std::uint32_t value;
        bool length, check, type, ack;
    };
    const Bytes good = ValueDatagram(1);
    const auto goodLength = static_cast<std::uint16_t>(good.size());
    const Case cases[] = {
        // A wrong length no longer matches its check either.
        {"length", kHeaderLengthOffset, false, goodLength + 1u, true, true, false, false},
        {"check", kHeaderLengthCheckOffset, false, goodLength, false, true, false, false},
        {"type", kHeaderTypeOffset, false, 1, false, false, true, false},
        {"ack", kHeaderAckOffset, true, 0, false, false, false, true},
    };
    for (const Case& c : cases) {
        Bytes datagram = good;
        if (c.wide) {
            os::store_le32(datagram.data() + c.offset, c.value);
        } else {
            os::store_le16(datagram.data() + c.offset, static_cast<std::uint16_t>(c.value));
        }
        LinkChecker checker;
        const DatagramCheck check = checker.Check(datagram);
        SCOPED_TRACE(c.name);
        ExpectOnly(check.faults, c.length, c.check, c.type, c.ack);
        EXPECT_EQ(check.verdict, DatagramVerdict::kRefuse);
        EXPECT_FALSE(checker.HasAccepted());
    }
}

TEST(LinkCheckerFraming, LengthAndCheckMustFitTheDatagramActuallyReceived) {
    LinkChecker checker;
    Bytes datagram = ValueDatagram(1);
    datagram.push_back(0);  // one byte more than the header says
    ExpectOnly(checker.Check(datagram).faults, true, false, false, false);

    Bytes consistent = ValueDatagram(1);
    const auto length = static_cast<std::uint16_t>(consistent.size() + 1);
    os::store_le16(consistent.data() + kHeaderLengthOffset, length);
    os::store_le16(consistent.data() + kHeaderLengthCheckOffset,
                   static_cast<std::uint16_t>(~length));
    ExpectOnly(checker.Check(consistent).faults, true, false, false, false);
}

TEST(LinkCheckerFraming, DatagramsOutsideTheLengthRangeAreLengthFaults) {
    LinkChecker checker;
    // Shorter than a header: nothing else can be read.
    ExpectOnly(checker.Check(Bytes(kHeaderSize - 1, 0)).faults, true, false, false, false);
    // A header with no message, length fields consistent.
    const Bytes empty = Datagram(1, 0, {});
    ExpectOnly(checker.Check(empty).faults, true, false, false, false);
    // One byte over the largest datagram, and the largest itself.
    const Bytes over = Datagram(1, 0, Bytes(kMaxPayloadLength + 1, 0x55));
    EXPECT_TRUE(checker.Check(over).faults.length);
    const Bytes largest = Datagram(1, 0, Bytes(kMaxPayloadLength, 0x55));
    EXPECT_FALSE(checker.Check(largest).faults.Any());
    EXPECT_FALSE(checker.Check(Datagram(2, 0, Bytes(1, 0x55))).faults.Any());
}

TEST(LinkCheckerSequence, FirstDatagramSetsTheStartAndMayComeWithRetries) {
    LinkChecker checker;
    // The first sends were lost, so the board first sees a retransmission.
    const DatagramCheck first = checker.Check(ValueDatagram(0xFFFFFFF0u, 3));
    EXPECT_EQ(first.verdict, DatagramVerdict::kAccept);
    EXPECT_FALSE(first.faults.Any());
    EXPECT_EQ(checker.Ack(), 0xFFFFFFF0u);
    // A later new datagram may also arrive first as a retransmission.
    const DatagramCheck second = checker.Check(ValueDatagram(0xFFFFFFF1u, 2));
    EXPECT_EQ(second.verdict, DatagramVerdict::kAccept);
    EXPECT_FALSE(second.faults.Any());
}

TEST(LinkCheckerSequence, RetransmissionsWithRisingRetriesAreDroppedWithoutFault) {
    LinkChecker checker;
    ASSERT_EQ(checker.Check(ValueDatagram(1, 0)).verdict, DatagramVerdict::kAccept);
    for (std::uint16_t retries : {1, 2, 5}) {  // a retransmission may itself be lost
        const DatagramCheck repeat = checker.Check(ValueDatagram(1, retries));
        EXPECT_EQ(repeat.verdict, DatagramVerdict::kDuplicate) << retries;
        EXPECT_FALSE(repeat.faults.Any()) << retries;
    }
    EXPECT_EQ(checker.Ack(), 1u);
    EXPECT_EQ(checker.Check(ValueDatagram(2, 0)).verdict, DatagramVerdict::kAccept);
}

TEST(LinkCheckerSequence, RepeatWithoutRisingRetriesIsARetriesFault) {
    LinkChecker checker;
    checker.Check(ValueDatagram(1, 0));
    checker.Check(ValueDatagram(1, 2));
    // Same seq, changed bytes, retries not above 2: a retransmission that did not count.
    const DatagramCheck stuck = checker.Check(Datagram(1, 2, kOtherValue));
    EXPECT_EQ(stuck.verdict, DatagramVerdict::kDuplicate);
    EXPECT_TRUE(stuck.faults.retries);
    const DatagramCheck fell = checker.Check(ValueDatagram(1, 1));
    EXPECT_TRUE(fell.faults.retries);
    EXPECT_FALSE(fell.faults.seq);
}

TEST(LinkCheckerSequence, SenderThatReusesASeqForANewMessageIsCaught) {
    LinkChecker checker;
    checker.Check(ValueDatagram(7, 0));
    const DatagramCheck reused = checker.Check(Datagram(7, 0, kOtherValue));
    EXPECT_EQ(reused.verdict, DatagramVerdict::kDuplicate);
    EXPECT_TRUE(reused.faults.retries);
}

TEST(LinkCheckerSequence, NetworkDuplicateIsDroppedWithoutFault) {
    LinkChecker checker;
    const Bytes original = ValueDatagram(1, 0);
    checker.Check(original);
    const DatagramCheck copy = checker.Check(original);
    EXPECT_EQ(copy.verdict, DatagramVerdict::kDuplicate);
    EXPECT_FALSE(copy.faults.Any());
    // A duplicated retransmission as well.
    const Bytes retransmission = ValueDatagram(1, 1);
    EXPECT_FALSE(checker.Check(retransmission).faults.Any());
    EXPECT_FALSE(checker.Check(retransmission).faults.Any());
}

TEST(LinkCheckerSequence, GapIsASeqFaultAndIsNotAcknowledged) {
    LinkChecker checker;
    checker.Check(ValueDatagram(10));
    const DatagramCheck gap = checker.Check(ValueDatagram(12));
    EXPECT_EQ(gap.verdict, DatagramVerdict::kRefuse);
    EXPECT_TRUE(gap.faults.seq);
    EXPECT_EQ(checker.Ack(), 10u);
    // The sequence goes on from where it was.
    EXPECT_EQ(checker.Check(ValueDatagram(11)).verdict, DatagramVerdict::kAccept);
    EXPECT_EQ(checker.Check(ValueDatagram(12)).verdict, DatagramVerdict::kAccept);
}

TEST(LinkCheckerSequence, OlderAcceptedSeqIsADuplicateButANeverAcceptedOneIsAFault) {
    LinkChecker checker;
    for (std::uint32_t seq = 5; seq <= 8; ++seq)
        checker.Check(ValueDatagram(seq));
    const DatagramCheck late = checker.Check(ValueDatagram(6));
    EXPECT_EQ(late.verdict, DatagramVerdict::kDuplicate);
    EXPECT_FALSE(late.faults.Any());
    const DatagramCheck beforeStart = checker.Check(ValueDatagram(4));
    EXPECT_EQ(beforeStart.verdict, DatagramVerdict::kRefuse);
    EXPECT_TRUE(beforeStart.faults.seq);
    EXPECT_EQ(checker.Ack(), 8u);
}

TEST(LinkCheckerSequence, SequenceWrapsFromAllOnesToZero) {
    LinkChecker checker;
    checker.Check(ValueDatagram(0xFFFFFFFEu));
    EXPECT_EQ(checker.Check(ValueDatagram(0xFFFFFFFFu)).verdict, DatagramVerdict::kAccept);
    const DatagramCheck wrapped = checker.Check(ValueDatagram(0));
    EXPECT_EQ(wrapped.verdict, DatagramVerdict::kAccept);
    EXPECT_FALSE(wrapped.faults.Any());
    EXPECT_EQ(checker.Ack(), 0u);
    EXPECT_EQ(checker.Check(ValueDatagram(1)).verdict, DatagramVerdict::kAccept);
    // Numbers from before the wrap are still known as accepted.
    EXPECT_EQ(checker.Check(ValueDatagram(0xFFFFFFFFu)).verdict, DatagramVerdict::kDuplicate);
    EXPECT_TRUE(checker.Check(ValueDatagram(0xFFFFFFFDu)).faults.seq);
}

TEST(LinkCheckerSequence, RetriesCountingPastSixteenBitsStillRise) {
    LinkChecker checker;
    checker.Check(ValueDatagram(1, 0xFFFE));
    EXPECT_FALSE(checker.Check(ValueDatagram(1, 0xFFFF)).faults.Any());
    EXPECT_FALSE(checker.Check(ValueDatagram(1, 0)).faults.Any());
    EXPECT_TRUE(checker.Check(ValueDatagram(1, 0xFFFF)).faults.retries);
}

TEST(LinkCheckerSequence, RefusedHeaderDoesNotMoveTheSequence) {
    LinkChecker checker;
    checker.Check(ValueDatagram(1));
    Bytes badType = ValueDatagram(2);
    os::store_le16(badType.data() + kHeaderTypeOffset, 9);
    EXPECT_EQ(checker.Check(badType).verdict, DatagramVerdict::kRefuse);
    EXPECT_EQ(checker.Ack(), 1u);
    EXPECT_EQ(checker.Check(ValueDatagram(2)).verdict, DatagramVerdict::kAccept);
}

}  // namespace
}  // namespace board_sim
