// Between SocketAddress and the sockets API's sockaddr_in, for the two UdpSocket
// backends; both APIs share the structure and keep its fields in network order.
#pragma once

#ifdef _WIN32
#include "os/windows_headers.h"
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include "os/socket_address.h"

namespace os {

inline sockaddr_in ToSockaddr(const SocketAddress& address) {
    sockaddr_in native{};
    native.sin_family = AF_INET;
    native.sin_addr.s_addr = address.addressNetworkOrder;
    native.sin_port = htons(address.port);
    return native;
}

inline SocketAddress FromSockaddr(const sockaddr_in& native) {
    return {native.sin_addr.s_addr, ntohs(native.sin_port)};
}

}  // namespace os
