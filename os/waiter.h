// Sleeps until one of a set of UDP sockets has a datagram, another thread asks the
// waiting one to stop, or a time-out passes.
//
// A readable socket is reported once per arrival, as Windows' FD_READ is: the caller
// must receive from every socket a result names before waiting again, or the socket
// may not be reported again. Adding a socket makes it non-blocking on both builds
// (Windows' WSAEventSelect forces it), and it stays so. A socket must stay open
// while it is in the waiter.
//
// One thread waits; Add and RemoveAll must not run during a Wait. RequestStop,
// ResetStop and StopRequested may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "os/udp_socket.h"

namespace os {

// One bit per socket in WaitResult::readableMask.
constexpr std::size_t kMaxWaitSockets = 64;

enum class WaitOutcome { kStopped, kReadable, kTimeout, kError };

struct WaitResult {
    WaitOutcome outcome = WaitOutcome::kError;
    std::uint64_t readableMask = 0;  // bit i: the socket added i-th
    int error = 0;                   // for kError: a Windows Sockets or system code

    bool IsReadable(std::size_t index) const {
        return index < kMaxWaitSockets && ((readableMask >> index) & 1u) != 0;
    }
};

class Waiter {
  public:
    static constexpr std::size_t kMaxSockets = kMaxWaitSockets;
    static constexpr std::uint32_t kForever = 0xFFFFFFFFu;

    Waiter();
    ~Waiter();
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    // False when the system gave no wake-up object; every Wait then fails, but for
    // one after a stop request, which still returns kStopped.
    bool IsValid() const;

    // False, with the thread's last socket error set, when the socket is not open,
    // the waiter is full (WSAEINVAL) or the system refuses the socket.
    bool Add(const UdpSocket& socket);
    void RemoveAll();
    std::size_t SocketCount() const;

    // A stop already requested wins over readable sockets.
    WaitResult Wait(std::uint32_t timeoutMs);

    // Sticky: every Wait returns kStopped until ResetStop.
    void RequestStop();
    void ResetStop();
    bool StopRequested() const;

  private:
    struct Platform;
    std::unique_ptr<Platform> platform_;
};

}  // namespace os
