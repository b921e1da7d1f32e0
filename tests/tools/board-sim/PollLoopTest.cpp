// The wait every mode shares: readable sockets, ends, and stop requests from another thread.
#include "tools/board-sim/PollLoop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

namespace board_sim {
namespace {

using Clock = PollLoop::Clock;
using std::chrono::milliseconds;

TEST(PollLoop, AReadableDescriptorEndsTheWaitAndAnEmptyOneDoesNot) {
    int pipeEnds[2] = {-1, -1};
    ASSERT_EQ(pipe(pipeEnds), 0);
    const std::atomic<bool> stop{false};
    const PollLoop loop(stop, milliseconds(10'000));
    EXPECT_FALSE(loop.Wait(Clock::now() + milliseconds(5), pipeEnds[0]));
    ASSERT_EQ(write(pipeEnds[1], "x", 1), 1);
    EXPECT_TRUE(loop.Wait(Clock::now() + milliseconds(5'000), pipeEnds[0]));
    close(pipeEnds[0]);
    close(pipeEnds[1]);
}

TEST(PollLoop, EndsAtItsEndEarlierWhenBroughtForwardAndOnAStopFromAnotherThread) {
    std::atomic<bool> stop{false};
    PollLoop loop(stop, milliseconds(60'000));
    EXPECT_TRUE(loop.Running());
    loop.EndBy(Clock::now() + milliseconds(120'000));  // later: no change
    EXPECT_TRUE(loop.Running());
    loop.EndBy(Clock::now() + milliseconds(20));
    loop.SleepUntil(Clock::time_point::max());
    EXPECT_FALSE(loop.Running());

    const PollLoop waiting(stop);
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(milliseconds(30));
        stop.store(true);
    });
    const auto start = Clock::now();
    waiting.SleepUntil(start + milliseconds(60'000));
    stopper.join();
    EXPECT_FALSE(waiting.Running());
    // Seen within a step or so, not at the end of the minute.
    EXPECT_LT(Clock::now() - start, milliseconds(10'000));
}

}  // namespace
}  // namespace board_sim
