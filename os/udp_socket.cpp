#include "os/udp_socket.h"

#include <utility>

namespace os {

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoSocket)), lastError_(other.lastError_.load()) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kNoSocket);
        lastError_.store(other.lastError_.load());
    }
    return *this;
}

}  // namespace os
