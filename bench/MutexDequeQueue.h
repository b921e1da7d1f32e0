// The queue a developer would write first: each message in its own vector, a deque
// of them under one mutex, and a condition variable for a taker that sleeps. The
// benchmark measures CQueue against it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace bench {

class MutexDequeQueue {
  public:
    using Message = std::vector<std::uint8_t>;

    void Put(const std::uint8_t* data, std::size_t length) {
        Message message(data, data + length);  // allocated and copied outside the lock
        {
            std::lock_guard lock(mutex_);
            messages_.push_back(std::move(message));
        }
        ready_.notify_one();
    }

    bool TryGet(Message& message) {
        std::lock_guard lock(mutex_);
        if (messages_.empty()) return false;
        TakeFrontLocked(message);
        return true;
    }

    // Sleeps until a message arrives; false once closed and empty.
    bool WaitGet(Message& message) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return !messages_.empty() || closed_; });
        if (messages_.empty()) return false;
        TakeFrontLocked(message);
        return true;
    }

    void Close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        ready_.notify_all();
    }

  private:
    void TakeFrontLocked(Message& message) {
        message = std::move(messages_.front());
        messages_.pop_front();
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Message> messages_;
    bool closed_ = false;
};

}  // namespace bench
