// CQueue against a mutex-and-deque queue, with 1 KiB messages: put and get on one
// thread, and a producer feeding a consumer that sleeps when the queue is empty.
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "bench/MutexDequeQueue.h"
#include "net/CQueue.h"

namespace {

constexpr int kMessageBytes = 1024;
// Messages the producer sends per iteration of the two-thread cases; the iteration
// ends when the consumer has taken all of them.
constexpr int kMessagesPerBatch = 1000;

const std::uint8_t* MessageBytes() {
    static const auto bytes = [] {
        std::array<std::uint8_t, kMessageBytes> pattern{};
        for (std::size_t i = 0; i < pattern.size(); ++i)
            pattern[i] = static_cast<std::uint8_t>(i * 31 + 7);
        return pattern;
    }();
    return bytes.data();
}

void CountMessages(benchmark::State& state, std::int64_t messages) {
    state.SetItemsProcessed(messages);
    state.SetBytesProcessed(messages * kMessageBytes);
}

// Takes messages on its own thread until `takeOne` fails, publishing how many it took.
// `close` makes a sleeping `takeOne` fail; it runs before the thread is joined.
class CountingConsumer {
  public:
    CountingConsumer(std::function<bool()> takeOne, std::function<void()> close)
        : close_(std::move(close)), thread_([this, take = std::move(takeOne)] {
              std::int64_t taken = 0;
              while (take())
                  received_.store(++taken, std::memory_order_release);
          }) {}
    ~CountingConsumer() { close_(); }
    CountingConsumer(const CountingConsumer&) = delete;
    CountingConsumer& operator=(const CountingConsumer&) = delete;

    void WaitUntilReceived(std::int64_t count) const {
        while (received_.load(std::memory_order_acquire) < count)
            std::this_thread::yield();
    }

  private:
    std::function<void()> close_;
    std::atomic<std::int64_t> received_{0};
    std::jthread thread_;  // last: it uses the members above
};

void OneThreadCQueue(benchmark::State& state) {
    net::CQueue queue;
    queue.Create(net::CQueue::kDefaultCapacity, "bench");
    std::vector<std::uint8_t> buffer(kMessageBytes);
    for ([[maybe_unused]] auto _ : state) {
        int length = kMessageBytes;
        if (!queue.Put(MessageBytes(), kMessageBytes) || !queue.Get(buffer.data(), length, true)) {
            state.SkipWithError("CQueue refused a message");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    CountMessages(state, state.iterations());
}

void OneThreadMutexDeque(benchmark::State& state) {
    bench::MutexDequeQueue queue;
    bench::MutexDequeQueue::Message message;
    for ([[maybe_unused]] auto _ : state) {
        queue.Put(MessageBytes(), kMessageBytes);
        if (!queue.TryGet(message)) {
            state.SkipWithError("baseline lost a message");
            break;
        }
        benchmark::DoNotOptimize(message.data());
        benchmark::ClobberMemory();
    }
    CountMessages(state, state.iterations());
}

void TwoThreadsCQueue(benchmark::State& state) {
    net::CQueue queue;
    queue.Create(net::CQueue::kDefaultCapacity, "bench");
    std::vector<std::uint8_t> buffer(kMessageBytes);
    CountingConsumer consumer(
        [&queue, &buffer] {
            int length = kMessageBytes;
            return queue.WaitGet(buffer.data(), length);
        },
        [&queue] { queue.Abort(); });
    std::int64_t sent = 0;
    for ([[maybe_unused]] auto _ : state) {
        for (int i = 0; i < kMessagesPerBatch; ++i)
            while (!queue.Put(MessageBytes(), kMessageBytes))
                std::this_thread::yield();
        sent += kMessagesPerBatch;
        consumer.WaitUntilReceived(sent);
    }
    CountMessages(state, sent);
}

void TwoThreadsMutexDeque(benchmark::State& state) {
    bench::MutexDequeQueue queue;
    bench::MutexDequeQueue::Message message;
    CountingConsumer consumer([&queue, &message] { return queue.WaitGet(message); },
                              [&queue] { queue.Close(); });
    std::int64_t sent = 0;
    for ([[maybe_unused]] auto _ : state) {
        for (int i = 0; i < kMessagesPerBatch; ++i)
            queue.Put(MessageBytes(), kMessageBytes);
        sent += kMessagesPerBatch;
        consumer.WaitUntilReceived(sent);
    }
    CountMessages(state, sent);
}

BENCHMARK(OneThreadCQueue)->Name("OneThread/CQueue");
BENCHMARK(OneThreadMutexDeque)->Name("OneThread/MutexDeque");
BENCHMARK(TwoThreadsCQueue)->Name("TwoThreads/CQueue")->UseRealTime();
BENCHMARK(TwoThreadsMutexDeque)->Name("TwoThreads/MutexDeque")->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
