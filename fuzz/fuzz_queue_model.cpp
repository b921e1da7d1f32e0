// Random sequences of queue operations on a small ring, checked against a plain model
// (a deque of byte strings): puts that fit and those that do not, gets into short
// buffers, peeks, flushes, waits and an abort, with the ring wrapping at every byte.
// Properties: every result, every entry's bytes and every counter are the model's,
// and the entry signal counts the entries (up to its ceiling) after each operation.
#include <algorithm>
#include <deque>
#include <vector>

#include "fuzz/FuzzReader.h"
#include "net/CQueue.h"

namespace {

using net::CQueue;
using Entry = std::vector<std::uint8_t>;

struct Model {
    int size = 0;
    std::deque<Entry> entries;
    int used = 0;  // bytes held, headers included
    bool aborted = false;

    int Free() const { return size - 1 - used; }
    bool Fits(int length) const {
        return length > 0 && length <= size - CQueue::kHeaderSize &&
               length + CQueue::kHeaderSize <= Free();
    }
};

void CheckTake(CQueue& queue, Model& model, bool wait, int capacity) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(capacity));
    int length = capacity;
    const bool taken =
        wait ? queue.WaitGet(buffer.data(), length) : queue.Get(buffer.data(), length, true);
    FUZZ_CHECK(taken == !model.entries.empty());
    if (!taken) {
        FUZZ_CHECK(length == capacity);
        return;
    }
    const Entry entry = model.entries.front();
    model.entries.pop_front();
    model.used -= static_cast<int>(entry.size()) + CQueue::kHeaderSize;
    const int expected = std::min(capacity, static_cast<int>(entry.size()));
    FUZZ_CHECK(length == expected);
    FUZZ_CHECK(std::equal(buffer.begin(), buffer.begin() + expected, entry.begin()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzReader input(data, size);
    CQueue queue;
    Model model;
    model.size = std::max<int>(16, input.U16() % 8192);
    queue.Create(model.size, "fuzz");
    std::uint8_t next = 0;
    while (!input.Empty()) {
        const std::uint8_t op = input.U8();
        const std::uint16_t argument = input.U16();
        switch (op % 7) {
            case 0: {
                const int length = argument % (model.size + 8);
                Entry entry(static_cast<std::size_t>(length));
                for (auto& byte : entry)
                    byte = next++;
                const bool put = queue.Put(entry.data(), length);
                FUZZ_CHECK(put == model.Fits(length));
                if (put) {
                    model.used += length + CQueue::kHeaderSize;
                    model.entries.push_back(std::move(entry));
                }
                break;
            }
            case 1:
                CheckTake(queue, model, false, 1 + argument % 600);
                break;
            case 2:
                // An empty queue that is not aborted would sleep for ever.
                if (!model.entries.empty() || model.aborted)
                    CheckTake(queue, model, true, 1 + argument % 600);
                break;
            case 3:
                FUZZ_CHECK(
                    queue.PeekLength() ==
                    (model.entries.empty() ? -1 : static_cast<int>(model.entries.front().size())));
                break;
            case 4:
                queue.Flush();
                model.entries.clear();
                model.used = 0;
                break;
            case 5:
                if ((argument & 0xFF) == 0xA5) {  // now and then
                    queue.Abort();
                    model.aborted = true;
                }
                break;
            default:
                break;
        }
        FUZZ_CHECK(queue.Count() == static_cast<int>(model.entries.size()));
        FUZZ_CHECK(queue.UsedBytes() == model.used);
        FUZZ_CHECK(queue.StoredBytes() == model.used);
        FUZZ_CHECK(queue.FreeBytes() == model.Free());
        FUZZ_CHECK(
            queue.EntrySignal().Count() ==
            std::min<int>(static_cast<int>(model.entries.size()), CQueue::kEntrySignalMaximum));
    }
    return 0;
}
