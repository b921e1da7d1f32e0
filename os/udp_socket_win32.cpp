#include "os/udp_socket.h"

#include <utility>

#include "os/sockaddr_in_conversion.h"
#include "os/windows_headers.h"

namespace os {
namespace {

constexpr WORD kWinsockVersion = MAKEWORD(2, 2);

SOCKET Native(UdpSocket::NativeSocket handle) {
    return static_cast<SOCKET>(handle);
}

}  // namespace

int LastSocketError() {
    return WSAGetLastError();
}

void SetLastSocketError(int wsaCode) {
    WSASetLastError(wsaCode);
}

bool UdpSocket::Open() {
    Close();
    WSADATA winsock{};
    // WSAStartup returns its error instead of setting the thread's last error.
    const int startError = WSAStartup(kWinsockVersion, &winsock);
    if (startError != 0) return Fail(startError);
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        const int error = WSAGetLastError();
        WSACleanup();
        return Fail(error);
    }
    handle_ = static_cast<NativeSocket>(s);
    return true;
}

bool UdpSocket::Bind(std::uint32_t addressNetworkOrder, std::uint16_t port) {
    if (!IsOpen()) return Fail(WSAENOTSOCK);
    const sockaddr_in local = ToSockaddr({addressNetworkOrder, port});
    if (bind(Native(handle_), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return Fail(WSAGetLastError());
    }
    return true;
}

bool UdpSocket::BindToDevice(const char*) {
    if (!IsOpen()) return Fail(WSAENOTSOCK);
    return true;
}

bool UdpSocket::SetNonBlocking(bool nonBlocking) {
    if (!IsOpen()) return Fail(WSAENOTSOCK);
    u_long mode = nonBlocking ? 1 : 0;
    if (ioctlsocket(Native(handle_), FIONBIO, &mode) != 0) return Fail(WSAGetLastError());
    return true;
}

bool UdpSocket::SetBroadcast(bool enable) {
    if (!IsOpen()) return Fail(WSAENOTSOCK);
    const BOOL value = enable ? TRUE : FALSE;
    if (setsockopt(Native(handle_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&value),
                   sizeof value) != 0) {
        return Fail(WSAGetLastError());
    }
    return true;
}

bool UdpSocket::SetDontRoute(bool enable) {
    if (!IsOpen()) return Fail(WSAENOTSOCK);
    const BOOL value = enable ? TRUE : FALSE;
    if (setsockopt(Native(handle_), SOL_SOCKET, SO_DONTROUTE, reinterpret_cast<const char*>(&value),
                   sizeof value) != 0) {
        return Fail(WSAGetLastError());
    }
    return true;
}

int UdpSocket::SendTo(const void* data, int length, const SocketAddress& to) {
    if (!IsOpen()) return FailCount(WSAENOTSOCK);
    if (length < 0) return FailCount(WSAEINVAL);
    if (data == nullptr && length > 0) return FailCount(WSAEFAULT);
    const sockaddr_in peer = ToSockaddr(to);
    const int sent = sendto(Native(handle_), static_cast<const char*>(data), length, 0,
                            reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (sent == SOCKET_ERROR) return FailCount(WSAGetLastError());
    return sent;
}

int UdpSocket::ReceiveFrom(void* buffer, int capacity, SocketAddress* from) {
    if (!IsOpen()) return FailCount(WSAENOTSOCK);
    if (capacity < 0) return FailCount(WSAEINVAL);
    if (buffer == nullptr && capacity > 0) return FailCount(WSAEFAULT);
    sockaddr_in peer{};
    int peerLength = sizeof peer;
    const int received = recvfrom(Native(handle_), static_cast<char*>(buffer), capacity, 0,
                                  reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (received == SOCKET_ERROR) return FailCount(WSAGetLastError());
    if (from != nullptr) *from = FromSockaddr(peer);
    return received;
}

int UdpSocket::BytesPending() {
    if (!IsOpen()) return FailCount(WSAENOTSOCK);
    u_long pending = 0;
    if (ioctlsocket(Native(handle_), FIONREAD, &pending) != 0) {
        return FailCount(WSAGetLastError());
    }
    return static_cast<int>(pending);
}

std::uint16_t UdpSocket::LocalPort() const {
    if (!IsOpen()) return 0;
    sockaddr_in local{};
    int length = sizeof local;
    if (getsockname(Native(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

void UdpSocket::Close() {
    if (!IsOpen()) return;
    closesocket(Native(std::exchange(handle_, kNoSocket)));
    WSACleanup();
}

}  // namespace os
