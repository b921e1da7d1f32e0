// The wait every mode repeats: until its end or a stop request (SIGINT, SIGTERM, or the
// flag another thread sets), wait for a socket to become readable, or only for time to
// pass, at most until the next thing the mode must do. Each wait is cut into short
// steps, so that a stop requested from another thread is seen at once as well. Used on
// the thread that owns it; `stopRequested` must outlive it.
#pragma once

#include <atomic>
#include <chrono>

namespace board_sim {

class PollLoop {
  public:
    using Clock = std::chrono::steady_clock;

    explicit PollLoop(const std::atomic<bool>& stopRequested,
                      Clock::time_point end = Clock::time_point::max());
    PollLoop(const std::atomic<bool>& stopRequested, std::chrono::milliseconds duration);

    // Neither the end has come nor a stop was requested.
    bool Running() const;
    // Brings the end forward to `end`, if that is earlier.
    void EndBy(Clock::time_point end);

    // Waits until `descriptor` is readable (true), or for at most one step towards
    // `until` or the end (false); a negative descriptor only lets the time pass.
    bool Wait(Clock::time_point until, int descriptor = -1) const;
    // Lets the time pass until `until`, the end or a stop request.
    void SleepUntil(Clock::time_point until) const;

  private:
    const std::atomic<bool>& stopRequested_;
    Clock::time_point end_;
};

}  // namespace board_sim
