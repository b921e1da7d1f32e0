#include "os/waiter.h"

#include <atomic>

#include "os/clock.h"
#include "os/windows_headers.h"

namespace os {

// All sockets share one manual-reset event, so 64 sockets and the stop event fit
// in a single wait. Each socket's own record of network events tells which fired.
struct Waiter::Platform {
    HANDLE stopEvent = nullptr;
    HANDLE readEvent = nullptr;
    std::atomic<bool> stopRequested{false};
    std::size_t count = 0;
    SOCKET sockets[kMaxSockets] = {};
};

namespace {

constexpr DWORD kStopSignalled = WAIT_OBJECT_0;
constexpr DWORD kReadSignalled = WAIT_OBJECT_0 + 1;

HANDLE NewManualResetEvent() {
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

DWORD RemainingMs(std::uint32_t startMs, std::uint32_t timeoutMs) {
    if (timeoutMs == Waiter::kForever) return INFINITE;
    const std::uint32_t elapsed = TickCountMs() - startMs;
    return elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
}

WaitResult Outcome(WaitOutcome outcome, std::uint64_t readableMask = 0, int error = 0) {
    return {outcome, readableMask, error};
}

// Reading the records clears them; FD_READ comes again after the next recv if
// data is still queued, or with the next datagram.
std::uint64_t TakeReadableSockets(const SOCKET* sockets, std::size_t count) {
    std::uint64_t readable = 0;
    for (std::size_t i = 0; i < count; ++i) {
        WSANETWORKEVENTS events{};
        if (WSAEnumNetworkEvents(sockets[i], nullptr, &events) != 0) continue;
        if ((events.lNetworkEvents & FD_READ) != 0) readable |= std::uint64_t{1} << i;
    }
    return readable;
}

}  // namespace

Waiter::Waiter() : platform_(std::make_unique<Platform>()) {
    platform_->stopEvent = NewManualResetEvent();
    platform_->readEvent = NewManualResetEvent();
}

Waiter::~Waiter() {
    RemoveAll();
    if (platform_->stopEvent != nullptr) CloseHandle(platform_->stopEvent);
    if (platform_->readEvent != nullptr) CloseHandle(platform_->readEvent);
}

bool Waiter::IsValid() const {
    return platform_->stopEvent != nullptr && platform_->readEvent != nullptr;
}

bool Waiter::Add(const UdpSocket& socket) {
    if (!socket.IsOpen()) {
        WSASetLastError(WSAENOTSOCK);
        return false;
    }
    if (platform_->count == kMaxSockets || !IsValid()) {
        WSASetLastError(WSAEINVAL);
        return false;
    }
    const auto s = static_cast<SOCKET>(socket.NativeHandle());
    if (WSAEventSelect(s, platform_->readEvent, FD_READ) != 0) return false;
    platform_->sockets[platform_->count++] = s;
    return true;
}

void Waiter::RemoveAll() {
    // Detach the sockets from the event before it goes; they stay non-blocking.
    for (std::size_t i = 0; i < platform_->count; ++i) {
        WSAEventSelect(platform_->sockets[i], nullptr, 0);
    }
    platform_->count = 0;
}

std::size_t Waiter::SocketCount() const {
    return platform_->count;
}

WaitResult Waiter::Wait(std::uint32_t timeoutMs) {
    // Before anything else: a thread whose waiter could not be made must still end.
    if (StopRequested()) return Outcome(WaitOutcome::kStopped);
    if (!IsValid()) return Outcome(WaitOutcome::kError, 0, ERROR_INVALID_HANDLE);
    const std::uint32_t startMs = TickCountMs();
    const HANDLE events[] = {platform_->stopEvent, platform_->readEvent};
    for (;;) {
        if (StopRequested()) return Outcome(WaitOutcome::kStopped);
        const DWORD signalled =
            WaitForMultipleObjects(2, events, FALSE, RemainingMs(startMs, timeoutMs));
        if (signalled == WAIT_TIMEOUT) return Outcome(WaitOutcome::kTimeout);
        if (signalled == WAIT_FAILED) {
            return Outcome(WaitOutcome::kError, 0, static_cast<int>(GetLastError()));
        }
        if (StopRequested()) return Outcome(WaitOutcome::kStopped);
        if (signalled == kStopSignalled) {
            // Left over from a stop that was reset; the flag is checked again above.
            ResetEvent(platform_->stopEvent);
            continue;
        }
        if (signalled != kReadSignalled) continue;
        // Reset before reading the records, so a record made meanwhile sets it again.
        ResetEvent(platform_->readEvent);
        const std::uint64_t readable = TakeReadableSockets(platform_->sockets, platform_->count);
        if (readable != 0) return Outcome(WaitOutcome::kReadable, readable);
    }
}

void Waiter::RequestStop() {
    platform_->stopRequested.store(true);
    if (platform_->stopEvent != nullptr) SetEvent(platform_->stopEvent);
}

void Waiter::ResetStop() {
    platform_->stopRequested.store(false);
    if (platform_->stopEvent != nullptr) ResetEvent(platform_->stopEvent);
}

bool Waiter::StopRequested() const {
    return platform_->stopRequested.load();
}

}  // namespace os
