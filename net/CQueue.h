// A thread-safe FIFO of variable-length byte messages in one fixed ring buffer.
// Each entry is a 4-byte little-endian header (payload length + 4) followed by the
// payload; header and payload may wrap at the end of the ring at any byte. One byte
// of the ring always stays free, so a full ring never looks empty.
//
// One thread puts, another takes. Put never waits for room and Get never waits for
// an entry; only WaitGet sleeps. No operation blocks while holding the queue's lock.
// After Abort, a caller that would have had to wait gives up with its failure result.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "net/CSemaphore.h"

namespace net {

class CQueue {
  public:
    static constexpr int kDefaultCapacity = 1048576;
    static constexpr int kHeaderSize = 4;
    static constexpr int kEntrySignalMaximum = 1000;
    // Thrown by Create as plain integers.
    static constexpr int kErrorNoSync = 2001;
    static constexpr int kErrorNoMemory = 2002;

    CQueue() = default;
    ~CQueue() { Destroy(); }
    CQueue(const CQueue&) = delete;
    CQueue& operator=(const CQueue&) = delete;

    // Allocates the ring (capacity bytes; at least 16) and leaves an empty queue with
    // every counter 0. `name` (may be null) appears only in the statistics line; at most
    // 127 characters are kept. Pass `hub` to let a consumer wait on the entry signal
    // together with other semaphores of that hub. Throws kErrorNoMemory or kErrorNoSync.
    void Create(int capacity, const char* name, std::shared_ptr<WaitHub> hub = nullptr);
    // Frees the ring. Callers blocked in the queue must have been stopped first.
    void Destroy();

    // Stores one entry; false when the arguments are bad, there is no room, or the
    // queue is aborted while the lock is busy.
    bool Put(const void* data, int length);
    // Takes the oldest entry. `length` is in/out: the buffer's capacity on entry, the
    // bytes copied on success. A longer payload is cut to the capacity and the rest of
    // the entry is discarded. With `takeCount`, also takes the entry's count from the
    // entry signal (for callers that did not wait on it).
    bool Get(void* buffer, int& length, bool takeCount);
    // Sleeps until an entry is signalled (or the queue is aborted), then takes it.
    bool WaitGet(void* buffer, int& length);
    // The payload length of the oldest entry, or -1 when there is none.
    int PeekLength();
    // Discards every entry. Safe while other threads use the queue.
    void Flush();
    // Wakes and fails sleeping takers, now and for the life of the queue.
    void Abort();
    // Appends the statistics line to `text`; `length` is in/out (capacity, then written).
    void FormatStats(char* text, int& length) const;

    // Lock-free reads: a value a moment old is acceptable to their callers.
    int Count() const { return entries_.load(std::memory_order_relaxed); }
    int UsedBytes() const;
    int FreeBytes() const { return size_ - 1 - UsedBytes(); }
    int Capacity() const { return size_; }
    bool IsEmpty() const { return Count() == 0; }

    // One count per stored entry (up to kEntrySignalMaximum) for takers that sleep.
    CSemaphore& EntrySignal() { return *entrySignal_; }

    // Statistics, read without the lock.
    int Flushes() const { return flushes_.load(std::memory_order_relaxed); }
    int StoredBytes() const { return bytes_.load(std::memory_order_relaxed); }
    int HighWaterEntries() const { return hwm_entries_.load(std::memory_order_relaxed); }
    int HighWaterBytes() const { return hwm_bytes_.load(std::memory_order_relaxed); }
    std::int32_t BytesPut() const { return bPut_.load(std::memory_order_relaxed); }
    std::int32_t BytesGot() const { return bGet_.load(std::memory_order_relaxed); }

  private:
    using Counter = std::atomic<std::int32_t>;

    bool Lock();
    void FlushLocked();
    bool TakeOldestLocked(std::uint8_t* buffer, int& length, bool takeCount);
    int Advance(int position, int step) const;
    void CopyIn(int position, const std::uint8_t* source, int count);
    void CopyOut(int position, std::uint8_t* target, int count) const;
    void SettleEntrySignal(bool takeCount);
    static std::int32_t Load(const Counter& counter);
    static void Store(Counter& counter, std::int32_t value);
    static void Add(Counter& counter, std::int32_t amount);
    static void RaiseTo(Counter& highWater, std::int32_t level);

    char name_[128] = "";
    std::unique_ptr<std::uint8_t[]> ring_;
    int size_ = 0;
    Counter writePos_{0};
    Counter readPos_{0};
    Counter entries_{0};
    Counter bytes_{0};
    Counter bPut_{0};
    Counter bGet_{0};
    Counter flushes_{0};
    Counter hwm_entries_{0};
    Counter hwm_bytes_{0};
    std::mutex lock_;
    std::atomic<bool> aborted_{false};
    std::optional<CSemaphore> entrySignal_;
};

}  // namespace net
