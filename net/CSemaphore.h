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
// Sleepers are counted under `mutex`, so a change that nobody waits for wakes
// nobody; every sleep therefore goes through Wait or WaitFor.
class WaitHub {
  public:
    std::mutex mutex;

    // Sleeps on `lock` (holding `mutex`) until `ready()`.
    template <class Predicate>
    void Wait(std::unique_lock<std::mutex>& lock, Predicate ready) {
        ++sleepers_;
        changed_.wait(lock, ready);
        --sleepers_;
    }

    // As Wait, giving up after `timeout`; returns `ready()`.
    template <class Predicate>
    bool WaitFor(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds timeout,
                 Predicate ready) {
        ++sleepers_;
        const bool isReady = changed_.wait_for(lock, timeout, ready);
        --sleepers_;
        return isReady;
    }

    // After a change made without `mutex` (a flag): wakes sleepers to check again.
    void WakeSleepers() {
        bool anyone;
        {
            std::lock_guard lock(mutex);
            anyone = sleepers_ > 0;
        }
        if (anyone) changed_.notify_all();
    }

    // After a change made under `mutex`: whether WakeAll is needed once it is released.
    bool HasSleepersLocked() const { return sleepers_ > 0; }
    void WakeAll() { changed_.notify_all(); }

  private:
    std::condition_variable changed_;
    int sleepers_ = 0;
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
