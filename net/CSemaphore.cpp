#include "net/CSemaphore.h"

namespace net {

CSemaphore::CSemaphore(int initial, int maximum, std::shared_ptr<WaitHub> hub)
    : hub_(hub ? std::move(hub) : std::make_shared<WaitHub>()),
      count_(initial),
      maximum_(maximum) {}

bool CSemaphore::ReleaseLocked() {
    if (count_ >= maximum_) return false;
    ++count_;
    return true;
}

bool CSemaphore::Release() {
    bool released;
    bool wake;
    {
        std::lock_guard lock(hub_->mutex);
        released = ReleaseLocked();
        wake = released && hub_->HasSleepersLocked();
    }
    if (wake) hub_->WakeAll();
    return released;
}

bool CSemaphore::TryAcquire() {
    std::lock_guard lock(hub_->mutex);
    if (count_ == 0) return false;
    --count_;
    return true;
}

bool CSemaphore::AcquireFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(hub_->mutex);
    if (!hub_->WaitFor(lock, timeout, [this] { return count_ > 0; })) return false;
    --count_;
    return true;
}

void CSemaphore::Drain() {
    std::lock_guard lock(hub_->mutex);
    count_ = 0;
}

int CSemaphore::Count() const {
    std::lock_guard lock(hub_->mutex);
    return count_;
}

}  // namespace net
