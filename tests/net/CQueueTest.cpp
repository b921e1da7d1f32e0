#include "net/CQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <future>
#include <mutex>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace net {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr int kHeader = CQueue::kHeaderSize;
// Long enough for a woken thread to have returned, short enough to keep the suite quick.
constexpr auto kStillBlocked = 100ms;
// A call that must return without waiting has done so by now, even under sanitizers.
constexpr auto kPromptly = 1s;
// A thread that has not finished by now is stuck; the test fails instead of hanging.
constexpr auto kStuck = 10s;

Bytes Pattern(int length, std::uint8_t seed) {
    Bytes bytes(static_cast<std::size_t>(length));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    return bytes;
}

bool PutBytes(CQueue& queue, const Bytes& bytes) {
    return queue.Put(bytes.data(), static_cast<int>(bytes.size()));
}

// Takes the oldest entry into a buffer of `room` bytes; empty when Get fails.
Bytes GetBytes(CQueue& queue, int room = 70000) {
    Bytes buffer(static_cast<std::size_t>(room));
    int length = room;
    if (!queue.Get(buffer.data(), length, true)) return {};
    buffer.resize(static_cast<std::size_t>(length));
    return buffer;
}

// Leaves `queue` empty with its next entry starting at ring offset `position`, by
// passing one filler entry of exactly that stored size through it.
void MoveRingPositionTo(CQueue& queue, int position) {
    ASSERT_GT(position, kHeader);
    ASSERT_TRUE(PutBytes(queue, Pattern(position - kHeader, 0xEE)));
    ASSERT_EQ(GetBytes(queue).size(), static_cast<std::size_t>(position - kHeader));
    ASSERT_TRUE(queue.IsEmpty());
}

// Unblocks takers if the test has not finished in time, so that a test fails rather
// than hangs: aborts the queue, then keeps putting one-byte entries (for a fault
// that leaves Abort unable to wake them) until the watchdog is destroyed.
// It is stopped by a flag under its own lock, not by a stop_token: ending a stop
// callback waits on an atomic, and MinGW's libstdc++ (12) builds that wait from a
// mutex and a condition variable that can miss the wake-up, so the watchdog's
// thread slept forever and its join hung the test program under Wine.
class Watchdog {
  public:
    Watchdog(CQueue& queue, std::chrono::milliseconds timeout)
        : thread_([this, &queue, timeout] { Guard(queue, timeout); }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    bool Fired() const { return fired_; }

  private:
    static constexpr auto kRescuePeriod = 100ms;

    void Guard(CQueue& queue, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        const auto stopping = [this] { return stopping_; };
        if (wake_.wait_for(lock, timeout, stopping)) return;
        fired_ = true;
        queue.Abort();
        const std::uint8_t rescue = 0;
        do {
            queue.Put(&rescue, 1);
        } while (!wake_.wait_for(lock, kRescuePeriod, stopping));
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::atomic<bool> fired_{false};
    std::thread thread_;  // last: it uses the members above
};

// A WaitGet on another thread, with its outcome.
struct WaitGetResult {
    bool ok = false;
    Bytes bytes;
};

std::future<WaitGetResult> WaitGetAsync(CQueue& queue, int room = 4096) {
    return std::async(std::launch::async, [&queue, room] {
        WaitGetResult result;
        result.bytes.resize(static_cast<std::size_t>(room));
        int length = room;
        result.ok = queue.WaitGet(result.bytes.data(), length);
        result.bytes.resize(result.ok ? static_cast<std::size_t>(length) : 0);
        return result;
    });
}

class CQueueTest : public ::testing::Test {
  protected:
    void SetUp() override { queue_.Create(CQueue::kDefaultCapacity, nullptr); }
    CQueue queue_;
};

// ---------------------------------------------------------------- room in the ring

using CQueueRoom = CQueueTest;

TEST_F(CQueueRoom, LargestPayloadOfEmptyDefaultQueueIsCapacityLessHeaderAndFreeByte) {
    EXPECT_EQ(queue_.FreeBytes(), CQueue::kDefaultCapacity - 1);
    EXPECT_FALSE(queue_.Put(Pattern(1048572, 1).data(), 1048572));
    EXPECT_TRUE(queue_.IsEmpty());
    const Bytes largest = Pattern(1048571, 2);
    ASSERT_TRUE(PutBytes(queue_, largest));
    EXPECT_EQ(queue_.FreeBytes(), 0);
    EXPECT_EQ(GetBytes(queue_, 1048571), largest);
}

TEST_F(CQueueRoom, EntryFillingFreeSpaceExactlyIsAcceptedAndOneByteMoreIsRefused) {
    ASSERT_TRUE(PutBytes(queue_, Pattern(1000, 3)));
    const int free = queue_.FreeBytes();
    const Bytes tooLong = Pattern(free - kHeader + 1, 4);
    EXPECT_FALSE(PutBytes(queue_, tooLong));
    EXPECT_EQ(queue_.Count(), 1);
    EXPECT_EQ(queue_.FreeBytes(), free);

    const Bytes exact = Pattern(free - kHeader, 5);
    ASSERT_TRUE(PutBytes(queue_, exact));
    EXPECT_EQ(queue_.FreeBytes(), 0);
    EXPECT_FALSE(queue_.Put(exact.data(), 1));  // nothing fits in a full ring
    EXPECT_EQ(GetBytes(queue_), Pattern(1000, 3));
    EXPECT_EQ(GetBytes(queue_, free), exact);
}

TEST_F(CQueueRoom, ExactFitAcrossTheRingEndIsAccepted) {
    CQueue small;
    small.Create(64, nullptr);
    MoveRingPositionTo(small, 50);
    ASSERT_EQ(small.FreeBytes(), 63);
    const Bytes exact = Pattern(63 - kHeader, 6);
    EXPECT_FALSE(small.Put(exact.data(), 63 - kHeader + 1));
    ASSERT_TRUE(PutBytes(small, exact));
    EXPECT_EQ(small.FreeBytes(), 0);
    EXPECT_EQ(GetBytes(small), exact);
    EXPECT_EQ(small.FreeBytes(), 63);
}

TEST_F(CQueueRoom, HugeLengthIsRefusedWithoutOverflow) {
    const std::uint8_t byte = 0;
    EXPECT_FALSE(queue_.Put(&byte, INT_MAX));
    EXPECT_FALSE(queue_.Put(&byte, INT_MAX - kHeader + 1));
    EXPECT_TRUE(queue_.IsEmpty());
    EXPECT_EQ(queue_.BytesPut(), 0);
}

TEST(CQueueCreate, CapacityBelowMinimumIsRaisedToSixteen) {
    CQueue queue;
    queue.Create(4, nullptr);
    EXPECT_EQ(queue.Capacity(), 16);
    EXPECT_EQ(queue.FreeBytes(), 15);
    const Bytes largest = Pattern(11, 7);
    ASSERT_TRUE(PutBytes(queue, largest));
    EXPECT_EQ(GetBytes(queue), largest);
}

TEST(CQueueCreate, EveryCounterStartsAtZero) {
    CQueue queue;
    queue.Create(100, "fresh");
    EXPECT_EQ(queue.Capacity(), 100);
    EXPECT_EQ(queue.Count(), 0);
    EXPECT_EQ(queue.StoredBytes(), 0);
    EXPECT_EQ(queue.UsedBytes(), 0);
    EXPECT_EQ(queue.Flushes(), 0);
    EXPECT_EQ(queue.HighWaterEntries(), 0);
    EXPECT_EQ(queue.HighWaterBytes(), 0);
    EXPECT_EQ(queue.BytesPut(), 0);
    EXPECT_EQ(queue.BytesGot(), 0);
    EXPECT_EQ(queue.EntrySignal().Count(), 0);
    EXPECT_EQ(queue.PeekLength(), -1);
}

// ---------------------------------------------------------------- bad arguments

using CQueueBadArguments = CQueueTest;

TEST_F(CQueueBadArguments, PutWithZeroLengthOrNullDataIsRefusedAndChangesNothing) {
    ASSERT_TRUE(PutBytes(queue_, Pattern(10, 8)));
    const std::uint8_t byte = 1;
    EXPECT_FALSE(queue_.Put(&byte, 0));
    EXPECT_FALSE(queue_.Put(&byte, -5));
    EXPECT_FALSE(queue_.Put(nullptr, 10));
    EXPECT_EQ(queue_.Count(), 1);
    EXPECT_EQ(queue_.StoredBytes(), 14);
    EXPECT_EQ(queue_.BytesPut(), 14);
    EXPECT_EQ(queue_.HighWaterEntries(), 1);
    EXPECT_EQ(queue_.EntrySignal().Count(), 1);
    EXPECT_EQ(GetBytes(queue_), Pattern(10, 8));
    EXPECT_TRUE(queue_.IsEmpty());
}

TEST_F(CQueueBadArguments, GetWithNullBufferOrNoRoomLeavesTheEntry) {
    ASSERT_TRUE(PutBytes(queue_, Pattern(10, 9)));
    int length = 16;
    EXPECT_FALSE(queue_.Get(nullptr, length, true));
    std::uint8_t buffer[16];
    length = 0;
    EXPECT_FALSE(queue_.Get(buffer, length, true));
    EXPECT_EQ(queue_.Count(), 1);
    EXPECT_EQ(queue_.EntrySignal().Count(), 1);
    EXPECT_EQ(GetBytes(queue_), Pattern(10, 9));
}

TEST_F(CQueueBadArguments, WaitGetWithBadBufferKeepsTheEntrysWakeUp) {
    ASSERT_TRUE(PutBytes(queue_, Pattern(10, 10)));
    int length = 16;
    EXPECT_FALSE(queue_.WaitGet(nullptr, length));
    std::uint8_t buffer[16];
    length = 0;
    EXPECT_FALSE(queue_.WaitGet(buffer, length));
    EXPECT_EQ(queue_.EntrySignal().Count(), 1);

    Watchdog watchdog(queue_, kStuck);
    auto waiter = WaitGetAsync(queue_);
    ASSERT_EQ(waiter.wait_for(kStuck), std::future_status::ready);
    EXPECT_FALSE(watchdog.Fired());
    const WaitGetResult result = waiter.get();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.bytes, Pattern(10, 10));
}

// ---------------------------------------------------------------- taking entries

using CQueueGet = CQueueTest;

TEST_F(CQueueGet, OnEmptyQueueFailsAndLeavesLengthAsIs) {
    std::uint8_t buffer[32];
    int length = 32;
    EXPECT_FALSE(queue_.Get(buffer, length, true));
    EXPECT_EQ(length, 32);
    EXPECT_FALSE(queue_.Get(buffer, length, false));
    EXPECT_EQ(length, 32);
    EXPECT_EQ(queue_.BytesGot(), 0);
}

TEST_F(CQueueGet, IntoSmallerBufferDeliversFirstBytesAndConsumesWholeEntry) {
    const Bytes first = Pattern(100, 11);
    const Bytes second = Pattern(30, 12);
    ASSERT_TRUE(PutBytes(queue_, first));
    ASSERT_TRUE(PutBytes(queue_, second));
    ASSERT_EQ(queue_.StoredBytes(), 100 + 30 + 2 * kHeader);

    std::uint8_t buffer[40];
    std::memset(buffer, 0xAA, sizeof buffer);
    int length = 25;
    ASSERT_TRUE(queue_.Get(buffer, length, true));
    EXPECT_EQ(length, 25);
    EXPECT_EQ(Bytes(buffer, buffer + 25), Bytes(first.begin(), first.begin() + 25));
    EXPECT_EQ(buffer[25], 0xAA);  // nothing written past the given room
    EXPECT_EQ(queue_.Count(), 1);
    EXPECT_EQ(queue_.StoredBytes(), 30 + kHeader);
    EXPECT_EQ(queue_.BytesGot(), 100 + kHeader);
    EXPECT_EQ(queue_.PeekLength(), 30);
    EXPECT_EQ(GetBytes(queue_), second);  // the next Get starts at the next entry
}

TEST_F(CQueueGet, EntriesComeOutInOrderAndPeekShowsTheOldest) {
    for (int length = 1; length <= 20; ++length)
        ASSERT_TRUE(PutBytes(queue_, Pattern(length, static_cast<std::uint8_t>(length))));
    EXPECT_EQ(queue_.Count(), 20);
    EXPECT_EQ(queue_.HighWaterEntries(), 20);
    for (int length = 1; length <= 20; ++length) {
        EXPECT_EQ(queue_.PeekLength(), length);
        EXPECT_EQ(GetBytes(queue_), Pattern(length, static_cast<std::uint8_t>(length)));
    }
    EXPECT_EQ(queue_.PeekLength(), -1);
    EXPECT_EQ(queue_.EntrySignal().Count(), 0);
}

// ---------------------------------------------------------------- wrapping the ring

// Each case starts an entry at a chosen ring offset of a 64-byte queue.
struct WrapCase {
    const char* name;
    int start;  // ring offset of the entry's header
    int payload;
};

void PrintTo(const WrapCase& placement, std::ostream* out) {
    *out << placement.name;
}

std::string WrapCaseName(const ::testing::TestParamInfo<WrapCase>& placement) {
    return placement.param.name;
}

class CQueueWrap : public ::testing::TestWithParam<WrapCase> {};

TEST_P(CQueueWrap, EntryAroundTheRingEndComesOutByteForByte) {
    constexpr int kCapacity = 64;
    const WrapCase& wrap = GetParam();
    CQueue queue;
    queue.Create(kCapacity, nullptr);
    MoveRingPositionTo(queue, wrap.start);

    const Bytes entry = Pattern(wrap.payload, 0x31);
    const Bytes next = Pattern(5, 0x52);  // follows the wrapped entry
    ASSERT_TRUE(PutBytes(queue, entry));
    ASSERT_TRUE(PutBytes(queue, next));
    EXPECT_EQ(queue.PeekLength(), wrap.payload);
    EXPECT_EQ(GetBytes(queue), entry);
    EXPECT_EQ(queue.PeekLength(), 5);
    EXPECT_EQ(GetBytes(queue), next);
    EXPECT_TRUE(queue.IsEmpty());
    EXPECT_EQ(queue.UsedBytes(), 0);
    EXPECT_EQ(queue.BytesPut(), queue.BytesGot());
}

INSTANTIATE_TEST_SUITE_P(Placements, CQueueWrap,
                         ::testing::Values(WrapCase{"HeaderSplitOneAndThree", 63, 20},
                                           WrapCase{"HeaderSplitTwoAndTwo", 62, 20},
                                           WrapCase{"HeaderSplitThreeAndOne", 61, 20},
                                           WrapCase{"HeaderEndsAtRingEnd", 60, 20},
                                           WrapCase{"PayloadSplit", 50, 20},
                                           WrapCase{"PayloadSplitAfterOneByte", 59, 20},
                                           WrapCase{"PayloadEndsAtRingEnd", 44, 16},
                                           WrapCase{"HeaderSplitAndRingFilled", 62, 50}),
                         WrapCaseName);

TEST(CQueueWrapping, ManyMixedEntriesThroughSmallRingKeepTheirBytes) {
    constexpr int kCapacity = 100;
    CQueue queue;
    queue.Create(kCapacity, nullptr);
    std::mt19937 random(7);
    std::vector<Bytes> pending;
    int nextSeed = 0;
    std::int64_t totalPut = 0;
    for (int round = 0; round < 5000; ++round) {
        if (random() % 2 == 0) {
            const int length = 1 + static_cast<int>(random() % 40);
            Bytes bytes = Pattern(length, static_cast<std::uint8_t>(nextSeed++));
            const bool fits = length + kHeader <= queue.FreeBytes();
            ASSERT_EQ(PutBytes(queue, bytes), fits);
            if (fits) {
                pending.push_back(std::move(bytes));
                totalPut += length + kHeader;
            }
        } else if (!pending.empty()) {
            ASSERT_EQ(GetBytes(queue), pending.front());
            pending.erase(pending.begin());
        }
        ASSERT_EQ(queue.Count(), static_cast<int>(pending.size()));
        ASSERT_EQ(queue.BytesPut() - queue.BytesGot(), queue.StoredBytes());
        ASSERT_EQ(queue.UsedBytes(), queue.StoredBytes());
    }
    EXPECT_GT(totalPut, 50 * kCapacity);
}

// ---------------------------------------------------------------- statistics

using CQueueStatistics = CQueueTest;

TEST_F(CQueueStatistics, BytesPutLessBytesGotIsStoredBytes) {
    int expectedStored = 0;
    for (int i = 1; i <= 50; ++i) {
        ASSERT_TRUE(PutBytes(queue_, Pattern(i * 13, 1)));
        expectedStored += i * 13 + kHeader;
        if (i % 3 == 0) {
            const Bytes taken = GetBytes(queue_);
            expectedStored -= static_cast<int>(taken.size()) + kHeader;
        }
        ASSERT_EQ(queue_.StoredBytes(), expectedStored);
        ASSERT_EQ(queue_.BytesPut() - queue_.BytesGot(), queue_.StoredBytes());
    }
}

TEST_F(CQueueStatistics, HighWaterMarksKeepTheLargestLevelSeen) {
    ASSERT_TRUE(PutBytes(queue_, Pattern(100, 1)));
    ASSERT_TRUE(PutBytes(queue_, Pattern(200, 2)));
    ASSERT_TRUE(PutBytes(queue_, Pattern(300, 3)));
    GetBytes(queue_);
    GetBytes(queue_);
    ASSERT_TRUE(PutBytes(queue_, Pattern(10, 4)));
    EXPECT_EQ(queue_.HighWaterEntries(), 3);
    EXPECT_EQ(queue_.HighWaterBytes(), 600 + 3 * kHeader);
    EXPECT_EQ(queue_.Count(), 2);
}

// Expected statistics line length with a pointer that prints as 8 characters.
constexpr std::size_t kStatsLengthWithShortPointer = 171;
constexpr std::size_t kShortPointerText = 8;

std::string Stats(const CQueue& queue) {
    char text[512];
    int length = sizeof text;
    queue.FormatStats(text, length);
    EXPECT_EQ(static_cast<std::size_t>(length), std::strlen(text));
    return text;
}

TEST_F(CQueueStatistics, FreshUnnamedQueueLineHasBlankNameAndZeroCounters) {
    char pointer[32];
    std::snprintf(pointer, sizeof pointer, "%p", static_cast<const void*>(&queue_));
    const std::string line = Stats(queue_);
    EXPECT_EQ(line.rfind("Queue " + std::string(20, ' ') + "  @ " + pointer + "  ", 0), 0u) << line;
    EXPECT_NE(line.find("entries      0"), std::string::npos) << line;
    EXPECT_NE(line.find("size 1048576"), std::string::npos) << line;
    EXPECT_NE(line.find("flushes    0"), std::string::npos) << line;
    EXPECT_EQ(line.size(), kStatsLengthWithShortPointer - kShortPointerText + std::strlen(pointer))
        << line;
    queue_.Flush();
    EXPECT_NE(Stats(queue_).find("flushes    1"), std::string::npos);
}

TEST_F(CQueueStatistics, LineShowsNameAndCurrentLevels) {
    CQueue named;
    named.Create(4096, "replies");
    ASSERT_TRUE(PutBytes(named, Pattern(96, 1)));
    const std::string line = Stats(named);
    EXPECT_EQ(line.rfind("Queue replies" + std::string(13, ' ') + "  @ ", 0), 0u) << line;
    EXPECT_NE(line.find("entries      1  bytes    100  hwm_entries      1  hwm_bytes     100"),
              std::string::npos)
        << line;
    EXPECT_NE(line.find("size    4096  bPut        100  bGet          0  "), std::string::npos)
        << line;
}

TEST_F(CQueueStatistics, LineIsCutToTheGivenRoomAndTerminated) {
    char text[20];
    std::memset(text, 'x', sizeof text);
    int length = 10;
    queue_.FormatStats(text, length);
    EXPECT_EQ(length, 9);
    EXPECT_STREQ(text, "Queue    ");
    EXPECT_EQ(text[10], 'x');
}

// ---------------------------------------------------------------- flush

using CQueueFlush = CQueueTest;

TEST_F(CQueueFlush, ClearsLevelsAndHighWaterButKeepsTotals) {
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(PutBytes(queue_, Pattern(100, 1)));
    GetBytes(queue_);
    const std::int32_t put = queue_.BytesPut();
    const std::int32_t got = queue_.BytesGot();
    queue_.Flush();
    EXPECT_EQ(queue_.Count(), 0);
    EXPECT_EQ(queue_.StoredBytes(), 0);
    EXPECT_EQ(queue_.UsedBytes(), 0);
    EXPECT_EQ(queue_.FreeBytes(), CQueue::kDefaultCapacity - 1);
    EXPECT_EQ(queue_.HighWaterEntries(), 0);
    EXPECT_EQ(queue_.HighWaterBytes(), 0);
    EXPECT_EQ(queue_.Flushes(), 1);
    EXPECT_EQ(queue_.BytesPut(), put);
    EXPECT_EQ(queue_.BytesGot(), got);
    EXPECT_EQ(queue_.EntrySignal().Count(), 0);
    EXPECT_EQ(GetBytes(queue_), Bytes{});
    queue_.Flush();
    EXPECT_EQ(queue_.Flushes(), 2);
}

TEST_F(CQueueFlush, QueueWorksAsNewAfterFlush) {
    ASSERT_TRUE(PutBytes(queue_, Pattern(1000, 1)));
    queue_.Flush();
    const Bytes largest = Pattern(CQueue::kDefaultCapacity - 1 - kHeader, 2);
    ASSERT_TRUE(PutBytes(queue_, largest));
    EXPECT_EQ(queue_.HighWaterEntries(), 1);
    EXPECT_EQ(GetBytes(queue_, CQueue::kDefaultCapacity), largest);
}

TEST_F(CQueueFlush, WaitGetAfterFlushSleepsUntilTheNextPut) {
    ASSERT_TRUE(PutBytes(queue_, Pattern(10, 1)));
    ASSERT_TRUE(PutBytes(queue_, Pattern(10, 2)));
    queue_.Flush();
    Watchdog watchdog(queue_, kStuck);
    auto waiter = WaitGetAsync(queue_);
    EXPECT_EQ(waiter.wait_for(kStillBlocked), std::future_status::timeout);
    const Bytes fresh = Pattern(33, 3);
    ASSERT_TRUE(PutBytes(queue_, fresh));
    ASSERT_EQ(waiter.wait_for(kStuck), std::future_status::ready);
    EXPECT_FALSE(watchdog.Fired());
    const WaitGetResult result = waiter.get();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.bytes, fresh);
}

// ---------------------------------------------------------------- abort

using CQueueAbort = CQueueTest;

TEST_F(CQueueAbort, WaitGetOnEmptyAbortedQueueFailsAtOnce) {
    Watchdog watchdog(queue_, kStuck);
    queue_.Abort();
    auto waiter = WaitGetAsync(queue_);
    ASSERT_EQ(waiter.wait_for(kPromptly), std::future_status::ready);
    EXPECT_FALSE(waiter.get().ok);
}

TEST_F(CQueueAbort, WakesAndFailsAWaitGetAlreadyAsleep) {
    Watchdog watchdog(queue_, 3 * kStuck);  // only a backstop; Abort below is the test
    auto waiter = WaitGetAsync(queue_);
    ASSERT_EQ(waiter.wait_for(kStillBlocked), std::future_status::timeout);
    queue_.Abort();
    ASSERT_EQ(waiter.wait_for(kStuck), std::future_status::ready);
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_FALSE(waiter.get().ok);
}

TEST_F(CQueueAbort, PutAndGetOnIdleAbortedQueueStillWork) {
    queue_.Abort();
    const Bytes bytes = Pattern(50, 1);
    ASSERT_TRUE(PutBytes(queue_, bytes));
    EXPECT_EQ(queue_.Count(), 1);
    EXPECT_EQ(queue_.PeekLength(), 50);
    EXPECT_EQ(GetBytes(queue_), bytes);
}

TEST_F(CQueueAbort, StoredEntryIsStillTakenByWaitGet) {
    const Bytes bytes = Pattern(50, 2);
    ASSERT_TRUE(PutBytes(queue_, bytes));
    queue_.Abort();
    Watchdog watchdog(queue_, kStuck);
    std::uint8_t buffer[64];
    int length = sizeof buffer;
    ASSERT_TRUE(queue_.WaitGet(buffer, length));
    EXPECT_EQ(Bytes(buffer, buffer + length), bytes);
    EXPECT_FALSE(queue_.WaitGet(buffer, length));
    EXPECT_FALSE(watchdog.Fired());
}

// ---------------------------------------------------------------- entry signal

// More entries than the entry signal can count: it is topped up as entries leave.
constexpr int kManyEntries = 1500;
static_assert(kManyEntries > CQueue::kEntrySignalMaximum);

Bytes NumberedEntry(int index) {
    return Pattern(4 + index % 13, static_cast<std::uint8_t>(index));
}

using CQueueEntrySignal = CQueueTest;

TEST_F(CQueueEntrySignal, CountsStoredEntriesUpToItsMaximum) {
    for (int i = 0; i < kManyEntries; ++i)
        ASSERT_TRUE(PutBytes(queue_, NumberedEntry(i)));
    EXPECT_EQ(queue_.Count(), kManyEntries);
    EXPECT_EQ(queue_.EntrySignal().Count(), CQueue::kEntrySignalMaximum);
    for (int i = 0; i < kManyEntries; ++i) {
        ASSERT_EQ(GetBytes(queue_), NumberedEntry(i)) << i;
        ASSERT_EQ(queue_.EntrySignal().Count(),
                  std::min(queue_.Count(), CQueue::kEntrySignalMaximum))
            << i;
    }
    EXPECT_TRUE(queue_.IsEmpty());
}

TEST_F(CQueueEntrySignal, MoreEntriesThanItsMaximumAllComeOutThroughWaitGet) {
    for (int i = 0; i < kManyEntries; ++i)
        ASSERT_TRUE(PutBytes(queue_, NumberedEntry(i)));
    Watchdog watchdog(queue_, kStuck);
    auto consumer = std::async(std::launch::async, [this] {
        std::vector<Bytes> taken;
        std::uint8_t buffer[64];
        for (int i = 0; i < kManyEntries; ++i) {
            int length = sizeof buffer;
            if (!queue_.WaitGet(buffer, length)) break;
            taken.emplace_back(buffer, buffer + length);
        }
        return taken;
    });
    ASSERT_EQ(consumer.wait_for(kStuck), std::future_status::ready);
    EXPECT_FALSE(watchdog.Fired());
    const std::vector<Bytes> taken = consumer.get();
    ASSERT_EQ(taken.size(), static_cast<std::size_t>(kManyEntries));
    for (int i = 0; i < kManyEntries; ++i)
        ASSERT_EQ(taken[i], NumberedEntry(i)) << i;
    EXPECT_EQ(queue_.EntrySignal().Count(), 0);
}

TEST_F(CQueueEntrySignal, WaitGetKeepsUpWithProducerPastItsMaximum) {
    Watchdog watchdog(queue_, kStuck);
    auto consumer = std::async(std::launch::async, [this] {
        int matching = 0;
        std::uint8_t buffer[64];
        for (int i = 0; i < kManyEntries; ++i) {
            int length = sizeof buffer;
            if (!queue_.WaitGet(buffer, length)) break;
            if (Bytes(buffer, buffer + length) == NumberedEntry(i)) ++matching;
        }
        return matching;
    });
    for (int i = 0; i < kManyEntries; ++i)
        ASSERT_TRUE(PutBytes(queue_, NumberedEntry(i)));
    ASSERT_EQ(consumer.wait_for(kStuck), std::future_status::ready);
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(consumer.get(), kManyEntries);
}

TEST_F(CQueueEntrySignal, GetWithTakeCountNeverBlocksAndLeavesNoCountBehind) {
    for (int i = 0; i < kManyEntries; ++i)
        ASSERT_TRUE(PutBytes(queue_, NumberedEntry(i)));
    Watchdog watchdog(queue_, kStuck);
    auto consumer = std::async(std::launch::async, [this] {
        int matching = 0;
        for (int i = 0; i < kManyEntries; ++i)
            if (GetBytes(queue_) == NumberedEntry(i)) ++matching;
        return matching;
    });
    ASSERT_EQ(consumer.wait_for(kStuck), std::future_status::ready);
    EXPECT_EQ(consumer.get(), kManyEntries);
    EXPECT_EQ(queue_.EntrySignal().Count(), 0);
    // An empty queue has no count left, so a taker sleeps.
    auto waiter = WaitGetAsync(queue_);
    EXPECT_EQ(waiter.wait_for(kStillBlocked), std::future_status::timeout);
    queue_.Abort();
    ASSERT_EQ(waiter.wait_for(kStuck), std::future_status::ready);
    EXPECT_FALSE(waiter.get().ok);
}

TEST_F(CQueueEntrySignal, GetWithoutTakeCountLeavesTheCount) {
    ASSERT_TRUE(PutBytes(queue_, Pattern(8, 1)));
    ASSERT_TRUE(PutBytes(queue_, Pattern(8, 2)));
    std::uint8_t buffer[16];
    int length = sizeof buffer;
    ASSERT_TRUE(queue_.Get(buffer, length, false));
    // The count belongs to the caller that waited on the signal; Get leaves it.
    EXPECT_EQ(queue_.EntrySignal().Count(), 2);
    length = sizeof buffer;
    ASSERT_TRUE(queue_.Get(buffer, length, true));
    EXPECT_EQ(queue_.EntrySignal().Count(), 1);
}

// ---------------------------------------------------------------- producer and consumer

// Messages of the stress test. Lengths and contents follow from the message index
// alone, apart from an occasional length chosen to put the next header across the
// ring end; both sides replay the same sequence, so the consumer knows what to expect.
class MessagePlan {
  public:
    static constexpr int kLongest = 65536;
    static constexpr int kPatternBytes = 2 * kLongest;

    explicit MessagePlan(int capacity) : capacity_(capacity) {}

    // Length of message `index` (the next one); advances the ring position past it.
    int Next(int index) {
        std::uint64_t mix = Mix(static_cast<std::uint64_t>(index));
        // A magnitude first, then a length within it: short and long messages alike.
        const int bits = static_cast<int>(mix % 17);
        mix /= 17;
        int length = 1 + static_cast<int>(mix % (std::uint64_t{1} << bits));
        mix >>= bits;
        // Now and then end the entry so the next header starts 0..4 bytes before the end.
        const int steerTo = static_cast<int>(mix % 5);
        const int steered = capacity_ - position_ - kHeader - steerTo;
        if ((mix >> 3) % 16 == 0 && steered >= 1 && steered <= kLongest) length = steered;
        position_ = (position_ + length + kHeader) % capacity_;
        return length;
    }

    static const std::uint8_t* Payload(int index) {
        static const std::vector<std::uint8_t> pattern = [] {
            std::vector<std::uint8_t> bytes(kPatternBytes);
            std::mt19937 random(2024);
            for (auto& byte : bytes)
                byte = static_cast<std::uint8_t>(random());
            return bytes;
        }();
        const auto offset = Mix(static_cast<std::uint64_t>(index) + 0x9E3779B9u) % kLongest;
        return pattern.data() + offset;
    }

  private:
    static std::uint64_t Mix(std::uint64_t value) {  // splitmix64
        value += 0x9E3779B97F4A7C15u;
        value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9u;
        value = (value ^ (value >> 27)) * 0x94D049BB133111EBu;
        return value ^ (value >> 31);
    }

    int capacity_;
    int position_ = 0;
};

// How the consumer of the stress test takes its messages.
enum class Taker { WaitGet, PollingGetWithTakeCount };

struct StressOutcome {
    int received = 0;
    int firstBad = -1;  // index of the first message that came out wrong
    int positionMismatches = 0;
    int headerStraddles = 0;
    int payloadStraddles = 0;
    int longest = 0;
    std::int64_t totalPut = 0;
    bool producerGaveUp = false;
    bool watchdogFired = false;
};

// Far beyond the few seconds a run takes even under ThreadSanitizer on two cores.
constexpr auto kStressDeadline = 60s;

// Takes the next message as `taker` does; false when the queue gave up (aborted) or,
// for the polling taker, when nothing came before `deadline`.
bool TakeNext(CQueue& queue, Taker taker, std::vector<std::uint8_t>& buffer, int& length,
              std::chrono::steady_clock::time_point deadline) {
    if (taker == Taker::WaitGet) return queue.WaitGet(buffer.data(), length);
    const int room = length;
    while (!queue.Get(buffer.data(), length, true)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        length = room;
        std::this_thread::yield();
    }
    return true;
}

// One producer (this thread) puts `messages` through `queue` to one consumer thread,
// retrying while the ring is full; the consumer checks every byte.
StressOutcome RunProducerConsumer(CQueue& queue, int messages, Taker taker) {
    const int capacity = queue.Capacity();
    const auto deadline = std::chrono::steady_clock::now() + kStressDeadline;
    MessagePlan::Payload(0);  // build the pattern before the threads share it
    StressOutcome outcome;
    Watchdog watchdog(queue, kStressDeadline + 5s);
    std::jthread consumer([&] {
        MessagePlan plan(capacity);
        std::vector<std::uint8_t> buffer(MessagePlan::kLongest);
        for (int index = 0; index < messages; ++index) {
            int length = MessagePlan::kLongest;
            if (!TakeNext(queue, taker, buffer, length, deadline)) return;
            const int expected = plan.Next(index);
            if (outcome.firstBad < 0 &&
                (length != expected ||
                 std::memcmp(buffer.data(), MessagePlan::Payload(index), length) != 0))
                outcome.firstBad = index;
            ++outcome.received;
        }
    });

    MessagePlan plan(capacity);
    int planPosition = 0;
    for (int index = 0; index < messages && !outcome.producerGaveUp; ++index) {
        // No flush happens, so the ring position is the byte total modulo the capacity.
        // The total is a wrapping 32-bit counter, and the capacity divides 2^32.
        const auto position =
            static_cast<int>(static_cast<std::uint32_t>(queue.BytesPut()) % capacity);
        if (position != planPosition) ++outcome.positionMismatches;
        const int length = plan.Next(index);
        outcome.longest = std::max(outcome.longest, length);
        if (position > capacity - kHeader)
            ++outcome.headerStraddles;
        else if (position + kHeader < capacity && position + kHeader + length > capacity)
            ++outcome.payloadStraddles;
        while (!queue.Put(MessagePlan::Payload(index), length)) {
            if (std::chrono::steady_clock::now() > deadline) {
                outcome.producerGaveUp = true;
                queue.Abort();  // the consumer is not taking: let it return
                break;
            }
            std::this_thread::yield();
        }
        outcome.totalPut += length + kHeader;
        planPosition = static_cast<int>(outcome.totalPut % capacity);
    }
    consumer.join();
    outcome.watchdogFired = watchdog.Fired();
    return outcome;
}

void ExpectIntactDelivery(const CQueue& queue, const StressOutcome& outcome, int messages) {
    EXPECT_FALSE(outcome.producerGaveUp);
    EXPECT_FALSE(outcome.watchdogFired);
    EXPECT_EQ(outcome.received, messages);
    EXPECT_EQ(outcome.firstBad, -1);
    EXPECT_EQ(outcome.positionMismatches, 0);
    EXPECT_GT(outcome.headerStraddles, 0);
    EXPECT_GT(outcome.payloadStraddles, 0);
    EXPECT_TRUE(queue.IsEmpty());
    EXPECT_EQ(queue.BytesPut(), queue.BytesGot());
    EXPECT_EQ(static_cast<std::uint32_t>(queue.BytesPut()),
              static_cast<std::uint32_t>(outcome.totalPut));
    EXPECT_LE(queue.HighWaterBytes(), queue.Capacity() - 1);
    std::printf(
        "%d messages (longest %d), %lld bytes, %lld ring turns, %d header and %d payload "
        "splits at the ring end\n",
        messages, outcome.longest, static_cast<long long>(outcome.totalPut),
        static_cast<long long>(outcome.totalPut / queue.Capacity()), outcome.headerStraddles,
        outcome.payloadStraddles);
}

TEST(CQueueProducerConsumer, HundredThousandMessagesArriveIntactThroughWaitGet) {
    constexpr int kMessages = 100'000;
    CQueue queue;
    queue.Create(CQueue::kDefaultCapacity, "stress");
    const StressOutcome outcome = RunProducerConsumer(queue, kMessages, Taker::WaitGet);
    ExpectIntactDelivery(queue, outcome, kMessages);
    EXPECT_GT(outcome.totalPut, 50 * std::int64_t{CQueue::kDefaultCapacity});
    EXPECT_GT(outcome.longest, MessagePlan::kLongest / 2);
    EXPECT_EQ(queue.EntrySignal().Count(), 0);
}

TEST(CQueueProducerConsumer, MessagesArriveIntactThroughPollingGetWithTakeCount) {
    constexpr int kMessages = 30'000;
    CQueue queue;
    queue.Create(CQueue::kDefaultCapacity, "stress");
    const StressOutcome outcome =
        RunProducerConsumer(queue, kMessages, Taker::PollingGetWithTakeCount);
    ExpectIntactDelivery(queue, outcome, kMessages);
    EXPECT_EQ(queue.EntrySignal().Count(), 0);
}

}  // namespace
}  // namespace net
