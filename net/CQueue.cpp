#include "net/CQueue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "os/byte_order.h"

namespace net {
namespace {
constexpr int kMinimumCapacity = 16;
}

void CQueue::Create(int capacity, const char* queueName, std::shared_ptr<WaitHub> hub) {
    size_ = std::max(capacity, kMinimumCapacity);
    ring_.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size_)]);
    if (!ring_) throw kErrorNoMemory;
    entrySignal_.emplace(0, kEntrySignalMaximum, std::move(hub));
    FlushLocked();
    flushes_ = 0;
    bGet_ = 0;
    bPut_ = 0;
    aborted_ = false;
    name_[0] = '\0';
    if (queueName != nullptr) std::snprintf(name_, sizeof name_, "%s", queueName);
}

void CQueue::Destroy() {
    entrySignal_.reset();
    ring_.reset();
}

// Counters change only under the lock, which orders them for its holders; readers
// without the lock accept a value a moment old. So no access needs a fence.
std::int32_t CQueue::Load(const Counter& counter) {
    return counter.load(std::memory_order_relaxed);
}

void CQueue::Store(Counter& counter, std::int32_t value) {
    counter.store(value, std::memory_order_relaxed);
}

void CQueue::Add(Counter& counter, std::int32_t amount) {
    // Two's-complement wrap, as the statistics counters are meant to.
    Store(counter, static_cast<std::int32_t>(static_cast<std::uint32_t>(Load(counter)) +
                                             static_cast<std::uint32_t>(amount)));
}

void CQueue::RaiseTo(Counter& highWater, std::int32_t level) {
    if (level > Load(highWater)) Store(highWater, level);
}

// The lock is held only for copies and bookkeeping, so a waiter gives up only when
// the queue is aborted and the lock happens to be busy.
bool CQueue::Lock() {
    if (lock_.try_lock()) return true;
    if (aborted_) return false;
    lock_.lock();
    return true;
}

int CQueue::UsedBytes() const {
    const int used =
        writePos_.load(std::memory_order_relaxed) - readPos_.load(std::memory_order_relaxed);
    return used < 0 ? used + size_ : used;
}

// Positions stay below the size and steps are at most the size, so one subtraction
// wraps them; a division would cost more than the rest of the bookkeeping.
int CQueue::Advance(int position, int step) const {
    const int next = position + step;
    return next >= size_ ? next - size_ : next;
}

void CQueue::CopyIn(int position, const std::uint8_t* source, int count) {
    const int first = std::min(count, size_ - position);
    std::memcpy(&ring_[position], source, static_cast<std::size_t>(first));
    if (count > first)
        std::memcpy(&ring_[0], source + first, static_cast<std::size_t>(count - first));
}

void CQueue::CopyOut(int position, std::uint8_t* target, int count) const {
    const int first = std::min(count, size_ - position);
    std::memcpy(target, &ring_[position], static_cast<std::size_t>(first));
    if (count > first)
        std::memcpy(target + first, &ring_[0], static_cast<std::size_t>(count - first));
}

// The signal cannot count above its maximum, so with more entries than that it
// is topped up as entries leave: a sleeping taker is woken while any entry is stored.
// Below the maximum every Put has released its count, so there is nothing to top up
// and the hub is left alone unless a count is to be taken.
void CQueue::SettleEntrySignal(bool takeCount) {
    const int wanted = std::min(Load(entries_), kEntrySignalMaximum);
    if (!takeCount && wanted < kEntrySignalMaximum) return;
    WaitHub& hub = entrySignal_->Hub();
    bool wake = false;
    {
        std::lock_guard hubLock(hub.mutex);
        if (takeCount && entrySignal_->CountLocked() > 0) entrySignal_->TakeLocked();
        while (entrySignal_->CountLocked() < wanted && entrySignal_->ReleaseLocked())
            wake = hub.HasSleepersLocked();
    }
    if (wake) hub.WakeAll();
}

bool CQueue::Put(const void* data, int length) {
    if (data == nullptr || length <= 0 || !ring_) return false;
    if (length > size_ - kHeaderSize) return false;  // need would overflow the free space test
    if (!Lock()) return false;
    std::lock_guard guard(lock_, std::adopt_lock);

    const int need = length + kHeaderSize;
    if (need > FreeBytes()) return false;

    std::uint8_t header[kHeaderSize];
    os::store_le32(header, static_cast<std::uint32_t>(need));
    const int position = Load(writePos_);
    CopyIn(position, header, kHeaderSize);
    CopyIn(Advance(position, kHeaderSize), static_cast<const std::uint8_t*>(data), length);

    Add(entries_, 1);
    Add(bytes_, need);
    Add(bPut_, need);
    Store(writePos_, Advance(position, need));
    RaiseTo(hwm_bytes_, Load(bytes_));
    RaiseTo(hwm_entries_, Load(entries_));
    entrySignal_->Release();  // fails quietly at the maximum; the entry stays stored
    return true;
}

bool CQueue::Get(void* buffer, int& length, bool takeCount) {
    if (buffer == nullptr || length <= 0 || !ring_) return false;
    if (!Lock()) return false;
    std::lock_guard guard(lock_, std::adopt_lock);
    return TakeOldestLocked(static_cast<std::uint8_t*>(buffer), length, takeCount);
}

bool CQueue::TakeOldestLocked(std::uint8_t* buffer, int& length, bool takeCount) {
    if (Load(entries_) == 0) return false;
    std::uint8_t header[kHeaderSize];
    const int position = Load(readPos_);
    CopyOut(position, header, kHeaderSize);
    const auto stored = static_cast<std::int32_t>(os::load_le32(header));
    // A header claiming more than is stored would move the read position past the
    // write position: the ring is corrupt and nothing in it can be trusted.
    if (stored > UsedBytes()) {
        FlushLocked();
        length = 0;
        return false;
    }
    const int payload = stored - kHeaderSize;
    if (payload <= 0) {
        FlushLocked();
        return false;
    }

    const int copied = std::min(payload, length);
    CopyOut(Advance(position, kHeaderSize), buffer, copied);
    length = copied;

    Add(entries_, -1);
    Add(bytes_, -stored);
    Add(bGet_, stored);
    Store(readPos_, Advance(position, stored));
    SettleEntrySignal(takeCount);  // never waits while holding the lock
    return true;
}

bool CQueue::WaitGet(void* buffer, int& length) {
    // Checked before a count is taken: a count taken for an entry that then stays
    // stored would leave that entry without a wake-up.
    if (buffer == nullptr || length <= 0 || !ring_) return false;
    {
        WaitHub& hub = entrySignal_->Hub();
        std::unique_lock hubLock(hub.mutex);
        hub.Wait(hubLock, [this] { return entrySignal_->CountLocked() > 0 || aborted_; });
        if (entrySignal_->CountLocked() == 0) return false;  // aborted
        entrySignal_->TakeLocked();
    }
    if (!Lock()) {
        entrySignal_->Release();  // aborted while busy: the entry stays, so does its count
        return false;
    }
    std::lock_guard guard(lock_, std::adopt_lock);
    return TakeOldestLocked(static_cast<std::uint8_t*>(buffer), length, false);
}

int CQueue::PeekLength() {
    if (!ring_ || entries_ == 0) return -1;
    if (!Lock()) return -1;
    std::lock_guard guard(lock_, std::adopt_lock);
    if (entries_ == 0) return -1;
    std::uint8_t header[kHeaderSize];
    CopyOut(readPos_, header, kHeaderSize);
    return static_cast<int>(os::load_le32(header)) - kHeaderSize;
}

void CQueue::Flush() {
    if (!ring_) return;
    std::lock_guard guard(lock_);
    FlushLocked();
}

void CQueue::FlushLocked() {
    Store(entries_, 0);
    Store(bytes_, 0);
    Store(writePos_, 0);
    Store(readPos_, 0);
    Add(flushes_, 1);
    Store(hwm_entries_, 0);
    Store(hwm_bytes_, 0);
    if (entrySignal_) entrySignal_->Drain();
    std::memset(ring_.get(), 0, static_cast<std::size_t>(size_));
}

void CQueue::Abort() {
    aborted_ = true;
    if (!entrySignal_) return;
    entrySignal_->Hub().WakeSleepers();
}

void CQueue::FormatStats(char* text, int& length) const {
    if (text == nullptr) return;
    // Each piece is formatted on its own, then bounded into what is left of `text`.
    char pieces[10][160];
    std::snprintf(pieces[0], sizeof pieces[0], "Queue %-20s  ", name_);
    std::snprintf(pieces[1], sizeof pieces[1], "@ %p  ", static_cast<const void*>(this));
    std::snprintf(pieces[2], sizeof pieces[2], "entries %6d  ", entries_.load());
    std::snprintf(pieces[3], sizeof pieces[3], "bytes %6d  ", bytes_.load());
    std::snprintf(pieces[4], sizeof pieces[4], "hwm_entries %6d  ", hwm_entries_.load());
    std::snprintf(pieces[5], sizeof pieces[5], "hwm_bytes %7d  ", hwm_bytes_.load());
    std::snprintf(pieces[6], sizeof pieces[6], "flushes %4d  ", flushes_.load());
    std::snprintf(pieces[7], sizeof pieces[7], "size %7d  ", size_);
    std::snprintf(pieces[8], sizeof pieces[8], "bPut %10d  ", bPut_.load());
    std::snprintf(pieces[9], sizeof pieces[9], "bGet %10d  ", bGet_.load());

    const auto capacity = static_cast<std::size_t>(std::max(length, 0));
    std::size_t used = 0;
    for (const char* piece : pieces) {
        if (used + 1 >= capacity) break;
        const std::size_t count = std::min(std::strlen(piece), capacity - 1 - used);
        std::memcpy(text + used, piece, count);
        used += count;
    }
    if (capacity > 0) text[used] = '\0';
    length = static_cast<int>(used);
}

}  // namespace net
