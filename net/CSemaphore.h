// A counting semaphore with a ceiling, built on a mutex and a condition variable
// that several semaphores (and abort flags) may share, so that one thread can sleep
// until a combination of them is ready and take them together or not at all.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace net {

// The lock and wake-up shared by every semaphore that joins a combined wait.
struct WaitHub {
    std::mutex mutex;
    std::condition_variable changed;
};

class CSemaphore {
public:
    // A semaphore on its own hub, or on `hub` to join waits with its other members.
    CSemaphore(int initial, int maximum, std::shared_ptr<WaitHub> hub = nullptr);

    // Adds one count and wakes waiters; false (and no change) at the maximum.
    bool Release();
    // Takes one count if there is one, without waiting.
    bool TryAcquire();
    // Waits up to `timeout` for a count; false when none came.
    bool AcquireFor(std::chrono::milliseconds timeout);
    // Sets the count to 0.
    void Drain();
    int Count() const;

    WaitHub& Hub() const { return *hub_; }

    // For waits that hold Hub().mutex themselves.
    int CountLocked() const { return count_; }
    void TakeLocked() { --count_; }
    bool ReleaseLocked();

private:
    std::shared_ptr<WaitHub> hub_;
    int count_;
    const int maximum_;
};

}  // namespace net
