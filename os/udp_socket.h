// A UDP/IPv4 socket owned by one object. Every failing call records a Windows
// Sockets code (os/wsa_errors.h), the same code on both builds: in the socket
// (LastError) and as the calling thread's last socket error (LastSocketError).
// SendTo and ReceiveFrom may run on different threads at once; Open, Close and
// moves must not race with any other call.
#pragma once

#include <atomic>
#include <cstdint>

#include "os/socket_address.h"

namespace os {

// The calling thread's last Windows Sockets error: WSAGetLastError on Windows, the
// code recorded by the last failing socket call of this thread on Linux.
int LastSocketError();
void SetLastSocketError(int wsaCode);

class UdpSocket {
  public:
    // A SOCKET on Windows, a descriptor on Linux; both invalid values are all ones.
    using NativeSocket = std::uintptr_t;
    static constexpr NativeSocket kNoSocket = ~NativeSocket{0};

    UdpSocket() = default;
    ~UdpSocket() { Close(); }
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Creates the socket, first closing one this object holds. On Windows every open
    // socket holds its own Winsock start-up, released by Close.
    bool Open();
    // `port` 0 lets the system choose. SO_REUSEADDR is never set, so a port another
    // socket holds fails with WSAEADDRINUSE.
    bool Bind(std::uint32_t addressNetworkOrder, std::uint16_t port);
    // Linux: SO_BINDTODEVICE (needs CAP_NET_RAW); names longer than the kernel keeps
    // are refused rather than cut short. Windows: nothing to do, true; per-adapter
    // sockets there bind to the adapter's address instead.
    bool BindToDevice(const char* interfaceName);
    bool SetNonBlocking(bool nonBlocking);
    bool SetBroadcast(bool enable);
    bool SetDontRoute(bool enable);

    // Bytes sent, or -1.
    int SendTo(const void* data, int length, const SocketAddress& to);
    // Bytes of one datagram, or -1. A datagram longer than `capacity` is dropped
    // and fails with WSAEMSGSIZE. `from` (may be null) is set only on success.
    int ReceiveFrom(void* buffer, int capacity, SocketAddress* from);
    // Bytes waiting, or -1. With several datagrams queued Windows counts them all
    // and Linux only the first; with one queued both give its size.
    int BytesPending();

    // The bound port in host order; 0 when closed or not bound.
    std::uint16_t LocalPort() const;
    bool IsOpen() const { return handle_ != kNoSocket; }
    void Close();
    NativeSocket NativeHandle() const { return handle_; }
    // The code of this socket's last failing call; 0 before any failed.
    int LastError() const { return lastError_.load(); }

  private:
    bool Fail(int wsaCode) {
        lastError_.store(wsaCode);
        SetLastSocketError(wsaCode);
        return false;
    }
    int FailCount(int wsaCode) {
        Fail(wsaCode);
        return -1;
    }

    NativeSocket handle_ = kNoSocket;
    std::atomic<int> lastError_{0};
};

}  // namespace os
