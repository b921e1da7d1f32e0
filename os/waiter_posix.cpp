#include "os/waiter.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>

#include "os/clock.h"
#include "os/wsa_errors_posix.h"

namespace os {

// Slot 0 of `polled` is the stop eventfd; the sockets follow in the order added.
struct Waiter::Platform {
    int stopEvent = -1;
    std::atomic<bool> stopRequested{false};
    std::size_t count = 0;
    pollfd polled[kMaxSockets + 1] = {};
};

namespace {

constexpr short kReadableEvents = POLLIN | POLLERR;

void DrainStopEvent(int stopEvent) {
    eventfd_t value = 0;
    eventfd_read(stopEvent, &value);
}

// Milliseconds left of `timeoutMs` since `startMs`, as poll takes them.
int RemainingMs(std::uint32_t startMs, std::uint32_t timeoutMs) {
    if (timeoutMs == Waiter::kForever) return -1;
    const std::uint32_t elapsed = TickCountMs() - startMs;
    if (elapsed >= timeoutMs) return 0;
    const std::uint32_t left = timeoutMs - elapsed;
    return left > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(left);
}

WaitResult Outcome(WaitOutcome outcome, std::uint64_t readableMask = 0, int error = 0) {
    return {outcome, readableMask, error};
}

}  // namespace

Waiter::Waiter() : platform_(std::make_unique<Platform>()) {
    platform_->stopEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    platform_->polled[0] = {platform_->stopEvent, POLLIN, 0};
}

Waiter::~Waiter() {
    if (platform_->stopEvent >= 0) close(platform_->stopEvent);
}

bool Waiter::IsValid() const {
    return platform_->stopEvent >= 0;
}

bool Waiter::Add(const UdpSocket& socket) {
    if (!socket.IsOpen()) {
        SetLastSocketError(WsaCodeFromErrno(ENOTSOCK));
        return false;
    }
    if (platform_->count == kMaxSockets || !IsValid()) {
        SetLastSocketError(WsaCodeFromErrno(EINVAL));
        return false;
    }
    const int fd = static_cast<int>(socket.NativeHandle());
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
        SetLastSocketError(WsaCodeFromErrno(errno));
        return false;
    }
    platform_->count++;
    platform_->polled[platform_->count] = {fd, POLLIN, 0};
    return true;
}

void Waiter::RemoveAll() {
    platform_->count = 0;
}

std::size_t Waiter::SocketCount() const {
    return platform_->count;
}

WaitResult Waiter::Wait(std::uint32_t timeoutMs) {
    // Before anything else: a thread whose waiter could not be made must still end.
    if (StopRequested()) return Outcome(WaitOutcome::kStopped);
    if (!IsValid()) return Outcome(WaitOutcome::kError, 0, WsaCodeFromErrno(EBADF));
    const std::uint32_t startMs = TickCountMs();
    const auto polledCount = static_cast<nfds_t>(platform_->count + 1);
    for (;;) {
        if (StopRequested()) return Outcome(WaitOutcome::kStopped);
        const int ready = poll(platform_->polled, polledCount, RemainingMs(startMs, timeoutMs));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Outcome(WaitOutcome::kError, 0, WsaCodeFromErrno(errno));
        if (ready == 0) return Outcome(WaitOutcome::kTimeout);
        if (StopRequested()) return Outcome(WaitOutcome::kStopped);
        // Left over from a stop that was reset; the flag is checked again above.
        if (platform_->polled[0].revents != 0) DrainStopEvent(platform_->stopEvent);
        std::uint64_t readable = 0;
        for (std::size_t i = 0; i < platform_->count; ++i) {
            const short events = platform_->polled[i + 1].revents;
            if ((events & POLLNVAL) != 0) {
                return Outcome(WaitOutcome::kError, 0, WsaCodeFromErrno(ENOTSOCK));
            }
            if ((events & kReadableEvents) != 0) readable |= std::uint64_t{1} << i;
        }
        if (readable != 0) return Outcome(WaitOutcome::kReadable, readable);
    }
}

void Waiter::RequestStop() {
    platform_->stopRequested.store(true);
    if (IsValid()) eventfd_write(platform_->stopEvent, 1);
}

void Waiter::ResetStop() {
    platform_->stopRequested.store(false);
    if (IsValid()) DrainStopEvent(platform_->stopEvent);
}

bool Waiter::StopRequested() const {
    return platform_->stopRequested.load();
}

}  // namespace os
