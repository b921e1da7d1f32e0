// Turns SIGINT and SIGTERM into a flag the main loop polls, for as long as an
// instance lives; the previous handlers come back when it goes.
#pragma once

#include <signal.h>

#include <atomic>

namespace board_sim {

class StopSignal {
  public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    static const std::atomic<bool>& Requested() { return requested_; }

  private:
    static void Handle(int signalNumber);

    // Set from the signal handler, which may only touch lock-free atomics.
    static std::atomic<bool> requested_;
    static_assert(std::atomic<bool>::is_always_lock_free);

    struct sigaction previousInterrupt_ {};
    struct sigaction previousTerminate_ {};
};

}  // namespace board_sim
