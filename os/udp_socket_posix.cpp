#include "os/udp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "os/sockaddr_in_conversion.h"
#include "os/wsa_errors_posix.h"

namespace os {
namespace {

thread_local int tLastSocketError = 0;

// Windows reports an operation on a socket that does not exist as WSAENOTSOCK,
// not as the bad-descriptor code EBADF would map to.
int NotSocket() {
    return WsaCodeFromErrno(ENOTSOCK);
}

int ErrnoAsWsa() {
    return WsaCodeFromErrno(errno);
}

int Descriptor(UdpSocket::NativeSocket handle) {
    return static_cast<int>(handle);
}

}  // namespace

int LastSocketError() {
    return tLastSocketError;
}

void SetLastSocketError(int wsaCode) {
    tLastSocketError = wsaCode;
}

bool UdpSocket::Open() {
    Close();
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) return Fail(ErrnoAsWsa());
    handle_ = static_cast<NativeSocket>(fd);
    return true;
}

bool UdpSocket::Bind(std::uint32_t addressNetworkOrder, std::uint16_t port) {
    if (!IsOpen()) return Fail(NotSocket());
    const sockaddr_in local = ToSockaddr({addressNetworkOrder, port});
    if (bind(Descriptor(handle_), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return Fail(ErrnoAsWsa());
    }
    return true;
}

bool UdpSocket::BindToDevice(const char* interfaceName) {
    if (!IsOpen()) return Fail(NotSocket());
    // The kernel silently cuts a longer name, which could name another device.
    if (interfaceName == nullptr || std::strlen(interfaceName) >= IFNAMSIZ) {
        return Fail(WsaCodeFromErrno(EINVAL));
    }
    const auto length = static_cast<socklen_t>(std::strlen(interfaceName) + 1);
    if (setsockopt(Descriptor(handle_), SOL_SOCKET, SO_BINDTODEVICE, interfaceName, length) != 0) {
        return Fail(ErrnoAsWsa());
    }
    return true;
}

bool UdpSocket::SetNonBlocking(bool nonBlocking) {
    if (!IsOpen()) return Fail(NotSocket());
    const int flags = fcntl(Descriptor(handle_), F_GETFL);
    if (flags < 0) return Fail(ErrnoAsWsa());
    const int wanted = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    if (fcntl(Descriptor(handle_), F_SETFL, wanted) != 0) return Fail(ErrnoAsWsa());
    return true;
}

bool UdpSocket::SetBroadcast(bool enable) {
    if (!IsOpen()) return Fail(NotSocket());
    const int value = enable ? 1 : 0;
    if (setsockopt(Descriptor(handle_), SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0) {
        return Fail(ErrnoAsWsa());
    }
    return true;
}

bool UdpSocket::SetDontRoute(bool enable) {
    if (!IsOpen()) return Fail(NotSocket());
    const int value = enable ? 1 : 0;
    if (setsockopt(Descriptor(handle_), SOL_SOCKET, SO_DONTROUTE, &value, sizeof value) != 0) {
        return Fail(ErrnoAsWsa());
    }
    return true;
}

int UdpSocket::SendTo(const void* data, int length, const SocketAddress& to) {
    if (!IsOpen()) return FailCount(NotSocket());
    if (length < 0) return FailCount(WsaCodeFromErrno(EINVAL));
    if (data == nullptr && length > 0) return FailCount(WsaCodeFromErrno(EFAULT));
    const sockaddr_in peer = ToSockaddr(to);
    ssize_t sent;
    do {
        sent = sendto(Descriptor(handle_), data, static_cast<std::size_t>(length), MSG_NOSIGNAL,
                      reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) return FailCount(ErrnoAsWsa());
    return static_cast<int>(sent);
}

int UdpSocket::ReceiveFrom(void* buffer, int capacity, SocketAddress* from) {
    if (!IsOpen()) return FailCount(NotSocket());
    if (capacity < 0) return FailCount(WsaCodeFromErrno(EINVAL));
    if (buffer == nullptr && capacity > 0) return FailCount(WsaCodeFromErrno(EFAULT));
    sockaddr_in peer{};
    iovec part{buffer, static_cast<std::size_t>(capacity)};
    msghdr message{};
    message.msg_name = &peer;
    message.msg_namelen = sizeof peer;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    ssize_t received;
    do {
        received = recvmsg(Descriptor(handle_), &message, 0);
    } while (received < 0 && errno == EINTR);
    if (received < 0) return FailCount(ErrnoAsWsa());
    // Linux hands over the head of a datagram that does not fit; Windows fails the
    // call. Either way the rest of the datagram is gone.
    if ((message.msg_flags & MSG_TRUNC) != 0) return FailCount(WsaCodeFromErrno(EMSGSIZE));
    if (from != nullptr) *from = FromSockaddr(peer);
    return static_cast<int>(received);
}

int UdpSocket::BytesPending() {
    if (!IsOpen()) return FailCount(NotSocket());
    int pending = 0;
    if (ioctl(Descriptor(handle_), FIONREAD, &pending) != 0) return FailCount(ErrnoAsWsa());
    return pending;
}

std::uint16_t UdpSocket::LocalPort() const {
    if (!IsOpen()) return 0;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(Descriptor(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

void UdpSocket::Close() {
    if (!IsOpen()) return;
    close(Descriptor(std::exchange(handle_, kNoSocket)));
}

}  // namespace os
