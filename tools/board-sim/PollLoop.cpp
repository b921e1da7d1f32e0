#include "tools/board-sim/PollLoop.h"

#include <poll.h>

#include <algorithm>

namespace board_sim {
namespace {

// How long a stop request from another thread may go unseen.
constexpr std::chrono::milliseconds kStep{50};

}  // namespace

PollLoop::PollLoop(const std::atomic<bool>& stopRequested, Clock::time_point end)
    : stopRequested_(stopRequested), end_(end) {}

PollLoop::PollLoop(const std::atomic<bool>& stopRequested, std::chrono::milliseconds duration)
    : PollLoop(stopRequested, Clock::now() + duration) {}

bool PollLoop::Running() const {
    return !stopRequested_.load() && Clock::now() < end_;
}

void PollLoop::EndBy(Clock::time_point end) {
    end_ = std::min(end_, end);
}

bool PollLoop::Wait(Clock::time_point until, int descriptor) const {
    const Clock::time_point now = Clock::now();
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(std::min({until, end_, now + kStep}) - now);
    // poll ignores a negative descriptor; a signal (no SA_RESTART) ends it at once.
    pollfd ready{descriptor, POLLIN, 0};
    const int timeoutMs =
        static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    return poll(&ready, 1, timeoutMs) > 0 && (ready.revents & POLLIN) != 0;
}

void PollLoop::SleepUntil(Clock::time_point until) const {
    while (Running() && Clock::now() < until)
        Wait(until);
}

}  // namespace board_sim
