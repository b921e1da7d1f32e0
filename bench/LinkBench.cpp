// Messages per second through the datagram link over loopback, against a plain UDP
// ping-pong of the same datagrams. In both a board thread answers each datagram at
// once with a 108-byte board datagram acknowledging it, so the difference is what
// CUdpServer's queue, threads and wake-ups cost per message.
//
// CUdpServer raises its threads to the highest priority, which a process with the
// right to (root, CAP_SYS_NICE) gets: a real-time class on Linux. The ping-pong runs
// once at normal priority and once with its sending thread raised the same way.
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "net/CUdpServer.h"
#include "os/byte_order.h"
#include "os/clock.h"
#include "os/inet_addr.h"
#include "os/thread_priority.h"
#include "os/udp_socket.h"

namespace {

constexpr int kBoardDatagramSize = 108;
// Messages per benchmark iteration; the link's pipeline drains once per batch.
constexpr int kMessagesPerBatch = 500;
constexpr auto kBatchTimeLimit = std::chrono::seconds(10);
constexpr std::uint32_t kPeerTimeLimitMs = 1000;
constexpr std::uint32_t kPeerPollMs = 1;
constexpr int kStopDatagramSize = 1;
// A blocking receive gives up after this long, so a lost datagram cannot hang a run.
constexpr int kReceiveTimeLimitMs = 1000;
constexpr int kMsPerSecond = 1000;
constexpr int kMicrosecondsPerMs = 1000;

std::uint32_t Loopback() {
    static const std::uint32_t address = os::InetAddr("127.0.0.1");
    return address;
}

bool LimitReceiveTime(const os::UdpSocket& socket) {
    const timeval limit{kReceiveTimeLimitMs / kMsPerSecond,
                        kReceiveTimeLimitMs % kMsPerSecond * kMicrosecondsPerMs};
    return setsockopt(static_cast<int>(socket.NativeHandle()), SOL_SOCKET, SO_RCVTIMEO, &limit,
                      sizeof limit) == 0;
}

// Raises the calling thread as CUdpServer raises its own, for one benchmark.
class RaisedPriority {
  public:
    RaisedPriority() {
        saved_ = pthread_getschedparam(pthread_self(), &policy_, &parameters_) == 0;
        raised_ = os::SetCurrentThreadHighestPriority();
    }
    ~RaisedPriority() {
        if (saved_) pthread_setschedparam(pthread_self(), policy_, &parameters_);
    }
    RaisedPriority(const RaisedPriority&) = delete;
    RaisedPriority& operator=(const RaisedPriority&) = delete;

    bool Raised() const { return raised_; }

  private:
    int policy_ = SCHED_OTHER;
    sched_param parameters_{};
    bool saved_ = false;
    bool raised_ = false;
};

// The board: answers each datagram with a board datagram whose bytes 8..11 carry
// the answered datagram's sequence number.
class AnsweringBoard {
  public:
    AnsweringBoard() {
        opened_ = socket_.Open() && socket_.Bind(Loopback(), 0) && LimitReceiveTime(socket_);
        if (opened_) thread_ = std::jthread([this] { Answer(); });
    }
    ~AnsweringBoard() {
        if (!opened_) return;
        stopping_ = true;
        os::UdpSocket stopper;  // a wake-up, so the board need not wait out its time limit
        const std::uint8_t stop[kStopDatagramSize] = {};
        if (stopper.Open()) stopper.SendTo(stop, kStopDatagramSize, Address());
    }
    AnsweringBoard(const AnsweringBoard&) = delete;
    AnsweringBoard& operator=(const AnsweringBoard&) = delete;

    bool IsOpen() const { return opened_; }
    os::SocketAddress Address() const { return {Loopback(), socket_.LocalPort()}; }

    // The board's first datagram, from which the server learns where the board is.
    bool Announce(std::uint16_t serverPort) {
        const std::uint8_t status[kBoardDatagramSize] = {};
        return socket_.SendTo(status, kBoardDatagramSize, {Loopback(), serverPort}) ==
               kBoardDatagramSize;
    }

  private:
    void Answer() {
        std::vector<std::uint8_t> received(net::kMaxDatagramSize);
        std::uint8_t status[kBoardDatagramSize] = {};
        while (!stopping_) {
            os::SocketAddress from;
            const int length = socket_.ReceiveFrom(received.data(), net::kMaxDatagramSize, &from);
            if (length < net::kTransportHeaderSize) continue;
            const std::uint32_t seq = os::load_le32(received.data() + net::kTransportSeqOffset);
            os::store_le32(status + net::kBoardAckOffset, seq);
            socket_.SendTo(status, kBoardDatagramSize, from);
        }
    }

    os::UdpSocket socket_;
    bool opened_ = false;
    std::atomic<bool> stopping_{false};
    std::jthread thread_;  // last: it uses the socket
};

// A server whose owner can sleep until a given sequence number is acknowledged.
class AckWaitingServer : public net::CUdpServer {
  public:
    void ExpectAck(std::uint32_t seq) {
        std::lock_guard lock(mutex_);
        expected_ = seq;
    }

    bool WaitForExpectedAck() {
        std::unique_lock lock(mutex_);
        return acked_.wait_for(lock, kBatchTimeLimit, [this] { return LastAckSeq() == expected_; });
    }

    int OnDatagram(const std::uint8_t*, int&) override {
        std::lock_guard lock(mutex_);
        if (LastAckSeq() == expected_) acked_.notify_one();
        return 0;  // the board datagrams themselves are of no interest here
    }

  private:
    std::mutex mutex_;
    std::condition_variable acked_;
    std::uint32_t expected_ = 0;
};

std::vector<std::uint8_t> Message(std::int64_t size) {
    std::vector<std::uint8_t> message(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<std::uint8_t>(i * 13);
    return message;
}

void CountMessages(benchmark::State& state, std::int64_t messages) {
    state.SetItemsProcessed(messages);
    state.SetBytesProcessed(messages * state.range(0));
}

bool WaitForPeer(const net::CUdpServer& server) {
    const std::uint32_t start = os::TickCountMs();
    while (server.Stats().rxDatagrams.load() == 0) {
        if (os::TickCountMs() - start > kPeerTimeLimitMs) return false;
        os::SleepMs(kPeerPollMs);
    }
    return true;
}

void Link(benchmark::State& state) {
    AnsweringBoard board;
    AckWaitingServer server;
    server.SetPort(0);
    if (!board.IsOpen() || !server.Start() || !board.Announce(server.LocalAddress().port) ||
        !WaitForPeer(server)) {
        state.SkipWithError("cannot set up the link");
        return;
    }
    const std::vector<std::uint8_t> message = Message(state.range(0));
    std::int64_t sent = 0;
    for ([[maybe_unused]] auto _ : state) {
        server.ExpectAck(server.LastSentSeq() + kMessagesPerBatch);
        for (int i = 0; i < kMessagesPerBatch; ++i) {
            int length = static_cast<int>(message.size());
            while (!server.Send(message.data(), length))
                std::this_thread::yield();
        }
        if (!server.WaitForExpectedAck()) {
            state.SkipWithError("the link stalled");
            break;
        }
        sent += kMessagesPerBatch;
    }
    server.Stop();
    if (server.Stats().resentDatagrams.load() != 0)
        state.counters["resent"] = static_cast<double>(server.Stats().resentDatagrams.load());
    CountMessages(state, sent);
}

// The same datagrams, transport header and all, sent and answered one at a time
// from a plain blocking socket.
void RunPingPong(benchmark::State& state) {
    AnsweringBoard board;
    os::UdpSocket computer;
    if (!board.IsOpen() || !computer.Open() || !computer.Bind(Loopback(), 0) ||
        !LimitReceiveTime(computer)) {
        state.SkipWithError("cannot open the sockets");
        return;
    }
    std::vector<std::uint8_t> datagram(net::kTransportHeaderSize +
                                       static_cast<std::size_t>(state.range(0)));
    std::vector<std::uint8_t> answer(net::kMaxDatagramSize);
    std::uint32_t seq = 0;
    std::int64_t sent = 0;
    for ([[maybe_unused]] auto _ : state) {
        for (int i = 0; i < kMessagesPerBatch; ++i) {
            os::store_le32(datagram.data() + net::kTransportSeqOffset, ++seq);
            const int size = static_cast<int>(datagram.size());
            const bool answered = computer.SendTo(datagram.data(), size, board.Address()) == size &&
                                  computer.ReceiveFrom(answer.data(), net::kMaxDatagramSize,
                                                       nullptr) == kBoardDatagramSize &&
                                  os::load_le32(answer.data() + net::kBoardAckOffset) == seq;
            if (!answered) {
                state.SkipWithError("the ping-pong lost a datagram");
                return;
            }
        }
        sent += kMessagesPerBatch;
    }
    CountMessages(state, sent);
}

void PingPong(benchmark::State& state) {
    RunPingPong(state);
}

void PingPongRaised(benchmark::State& state) {
    const RaisedPriority priority;
    state.counters["raised"] = priority.Raised() ? 1 : 0;
    RunPingPong(state);
}

BENCHMARK(Link)->Name("Link")->Arg(64)->Arg(1024)->UseRealTime();
BENCHMARK(PingPong)->Name("PingPong")->Arg(64)->Arg(1024)->UseRealTime();
BENCHMARK(PingPongRaised)->Name("PingPongRaised")->Arg(64)->Arg(1024)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
