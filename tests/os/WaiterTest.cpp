#include "os/waiter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <thread>
#include <vector>

#include "os/inet_addr.h"
#include "os/udp_socket.h"
#include "os/wsa_errors.h"
#include "tests/os/LoopbackSocket.h"

namespace os {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::uint32_t kLongTimeoutMs = 10000;
constexpr std::uint32_t kQuietTimeoutMs = 100;

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

class WaiterWithTwoSockets : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(waiter_.IsValid());
        ASSERT_TRUE(waiter_.Add(first_)) << LastSocketError();
        ASSERT_TRUE(waiter_.Add(second_)) << LastSocketError();
    }

    void Send(const UdpSocket& to, std::uint8_t value) {
        ASSERT_EQ(sender_.SendTo(&value, 1, {Loopback(), to.LocalPort()}), 1);
    }

    // One read, as every readable report asks for.
    int ReadOne(UdpSocket& socket) {
        std::uint8_t buffer[16];
        return socket.ReceiveFrom(buffer, sizeof buffer, nullptr);
    }

    // Waits, reading once from each reported socket, until every socket in
    // `expectedMask` has been reported; returns the union of the reports.
    std::uint64_t CollectReadable(std::uint64_t expectedMask) {
        std::uint64_t seen = 0;
        const auto start = Clock::now();
        while ((seen & expectedMask) != expectedMask &&
               MillisecondsSince(start) < kArrivalTimeoutMs) {
            const WaitResult result = waiter_.Wait(kArrivalTimeoutMs);
            if (result.outcome != WaitOutcome::kReadable) break;
            seen |= result.readableMask;
            if (result.IsReadable(0)) {
                EXPECT_EQ(ReadOne(first_), 1);
            }
            if (result.IsReadable(1)) {
                EXPECT_EQ(ReadOne(second_), 1);
            }
        }
        return seen;
    }

    UdpSocket first_ = OpenLoopbackSocket();
    UdpSocket second_ = OpenLoopbackSocket();
    UdpSocket sender_ = OpenLoopbackSocket();
    Waiter waiter_;
};

TEST_F(WaiterWithTwoSockets, TimesOutAfterTheTimeoutWhenNothingArrives) {
    const auto start = Clock::now();
    const WaitResult result = waiter_.Wait(kQuietTimeoutMs);
    const long long elapsed = MillisecondsSince(start);
    EXPECT_EQ(result.outcome, WaitOutcome::kTimeout);
    EXPECT_EQ(result.readableMask, 0u);
    EXPECT_GE(elapsed, 80) << "tick granularity allows a little less than asked";
    EXPECT_LT(elapsed, 1000);
}

TEST_F(WaiterWithTwoSockets, ZeroTimeoutReturnsAtOnce) {
    const auto start = Clock::now();
    EXPECT_EQ(waiter_.Wait(0).outcome, WaitOutcome::kTimeout);
    EXPECT_LT(MillisecondsSince(start), 50);
}

TEST_F(WaiterWithTwoSockets, ReportsWhichSocketIsReadable) {
    Send(second_, 2);
    WaitResult result = waiter_.Wait(kArrivalTimeoutMs);
    ASSERT_EQ(result.outcome, WaitOutcome::kReadable);
    EXPECT_EQ(result.readableMask, 0b10u);
    EXPECT_FALSE(result.IsReadable(0));
    EXPECT_TRUE(result.IsReadable(1));
    EXPECT_EQ(ReadOne(second_), 1);

    Send(first_, 1);
    result = waiter_.Wait(kArrivalTimeoutMs);
    ASSERT_EQ(result.outcome, WaitOutcome::kReadable);
    EXPECT_EQ(result.readableMask, 0b01u);
    EXPECT_EQ(ReadOne(first_), 1);
}

TEST_F(WaiterWithTwoSockets, ReportsBothSocketsWhenBothHaveData) {
    Send(first_, 1);
    Send(second_, 2);
    EXPECT_EQ(CollectReadable(0b11), 0b11u);
    EXPECT_EQ(waiter_.Wait(kQuietTimeoutMs).outcome, WaitOutcome::kTimeout)
        << "both datagrams were read";
}

TEST_F(WaiterWithTwoSockets, SocketIsReportedAgainWhileDatagramsRemain) {
    Send(first_, 1);
    Send(first_, 2);
    for (int datagram = 0; datagram < 2; ++datagram) {
        const WaitResult result = waiter_.Wait(kArrivalTimeoutMs);
        ASSERT_EQ(result.outcome, WaitOutcome::kReadable) << "datagram " << datagram;
        EXPECT_EQ(result.readableMask, 0b01u);
        EXPECT_EQ(ReadOne(first_), 1);
    }
    EXPECT_EQ(waiter_.Wait(kQuietTimeoutMs).outcome, WaitOutcome::kTimeout);
}

TEST_F(WaiterWithTwoSockets, AddingMakesTheSocketNonBlocking) {
    auto read = std::async(std::launch::async, [this] { return ReadOne(first_); });
    if (read.wait_for(milliseconds(kArrivalTimeoutMs)) != std::future_status::ready) {
        ADD_FAILURE() << "the receive blocked";
        Send(first_, 1);  // releases it
    }
    EXPECT_EQ(read.get(), -1);
    EXPECT_EQ(first_.LastError(), kWsaEWouldBlock);
}

TEST_F(WaiterWithTwoSockets, RemovedSocketsNoLongerWakeIt) {
    waiter_.RemoveAll();
    EXPECT_EQ(waiter_.SocketCount(), 0u);
    Send(first_, 1);
    EXPECT_EQ(waiter_.Wait(kQuietTimeoutMs).outcome, WaitOutcome::kTimeout);
}

TEST_F(WaiterWithTwoSockets, RequestStopFromAnotherThreadWakesALongWaitPromptly) {
    std::atomic<long long> stopRequestedAtMs{-1};
    const auto start = Clock::now();
    std::thread stopper([&] {
        std::this_thread::sleep_for(milliseconds(50));
        stopRequestedAtMs = MillisecondsSince(start);
        waiter_.RequestStop();
    });
    const WaitResult result = waiter_.Wait(kLongTimeoutMs);
    const long long returnedAtMs = MillisecondsSince(start);
    stopper.join();
    EXPECT_EQ(result.outcome, WaitOutcome::kStopped);
    EXPECT_LT(returnedAtMs - stopRequestedAtMs.load(), 200);
}

TEST_F(WaiterWithTwoSockets, StopStaysRequestedUntilReset) {
    waiter_.RequestStop();
    EXPECT_TRUE(waiter_.StopRequested());
    const auto start = Clock::now();
    EXPECT_EQ(waiter_.Wait(kLongTimeoutMs).outcome, WaitOutcome::kStopped);
    EXPECT_EQ(waiter_.Wait(kLongTimeoutMs).outcome, WaitOutcome::kStopped);
    EXPECT_LT(MillisecondsSince(start), 200);
    EXPECT_TRUE(waiter_.StopRequested());

    waiter_.ResetStop();
    EXPECT_FALSE(waiter_.StopRequested());
    EXPECT_EQ(waiter_.Wait(kQuietTimeoutMs).outcome, WaitOutcome::kTimeout);
}

TEST_F(WaiterWithTwoSockets, StopWinsOverAReadableSocketWhichIsReportedAfterReset) {
    Send(first_, 1);
    waiter_.RequestStop();
    EXPECT_EQ(waiter_.Wait(kArrivalTimeoutMs).outcome, WaitOutcome::kStopped);
    waiter_.ResetStop();
    const WaitResult result = waiter_.Wait(kArrivalTimeoutMs);
    EXPECT_EQ(result.outcome, WaitOutcome::kReadable);
    EXPECT_EQ(result.readableMask, 0b01u);
}

TEST_F(WaiterWithTwoSockets, RepeatedStopsAndResetsLeaveNoStaleWakeUp) {
    for (int round = 0; round < 3; ++round) {
        waiter_.RequestStop();
        waiter_.RequestStop();
        waiter_.ResetStop();
    }
    const auto start = Clock::now();
    EXPECT_EQ(waiter_.Wait(kQuietTimeoutMs).outcome, WaitOutcome::kTimeout);
    EXPECT_GE(MillisecondsSince(start), 80);
}

TEST(Waiter, WithoutSocketsItStillStopsAndTimesOut) {
    Waiter waiter;
    EXPECT_EQ(waiter.Wait(10).outcome, WaitOutcome::kTimeout);
    waiter.RequestStop();
    EXPECT_EQ(waiter.Wait(kLongTimeoutMs).outcome, WaitOutcome::kStopped);
}

TEST(Waiter, AddRefusesAClosedSocketAndASixtyFifthSocket) {
    Waiter waiter;
    UdpSocket closed;
    EXPECT_FALSE(waiter.Add(closed));
    EXPECT_EQ(LastSocketError(), kWsaENotSock);

    std::vector<UdpSocket> sockets;
    for (std::size_t i = 0; i < Waiter::kMaxSockets; ++i) {
        sockets.push_back(OpenLoopbackSocket());
        ASSERT_TRUE(waiter.Add(sockets.back())) << "socket " << i << ": " << LastSocketError();
    }
    UdpSocket extra = OpenLoopbackSocket();
    EXPECT_FALSE(waiter.Add(extra));
    EXPECT_EQ(LastSocketError(), kWsaEInval);
    EXPECT_EQ(waiter.SocketCount(), Waiter::kMaxSockets);

    // The last slot maps to the top bit of the mask.
    UdpSocket& last = sockets.back();
    const std::uint8_t data[] = {1};
    ASSERT_EQ(extra.SendTo(data, 1, {Loopback(), last.LocalPort()}), 1);
    const WaitResult result = waiter.Wait(kArrivalTimeoutMs);
    ASSERT_EQ(result.outcome, WaitOutcome::kReadable);
    EXPECT_EQ(result.readableMask, std::uint64_t{1} << (Waiter::kMaxSockets - 1));
    EXPECT_TRUE(result.IsReadable(Waiter::kMaxSockets - 1));
    EXPECT_FALSE(result.IsReadable(Waiter::kMaxSockets));
}

}  // namespace
}  // namespace os
