#include "os/single_instance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace os {

// An abstract-namespace Unix socket: binding it is atomic, it leaves no file behind,
// and the kernel releases it when the process dies.
struct SingleInstance::Platform {
    int descriptor = -1;
};

SingleInstance::SingleInstance() : platform_(std::make_unique<Platform>()) {}

SingleInstance::~SingleInstance() {
    Release();
}

bool SingleInstance::Acquire(const std::string& name) {
    Release();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.size() + 1 > sizeof address.sun_path) {
        error_ = ENAMETOOLONG;
        return false;
    }
    std::memcpy(address.sun_path + 1, name.data(), name.size());  // sun_path[0] = 0: abstract
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());

    const int descriptor = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        error_ = errno;
        return false;
    }
    if (bind(descriptor, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        error_ = errno;
        close(descriptor);
        return false;
    }
    platform_->descriptor = descriptor;
    error_ = 0;
    return true;
}

void SingleInstance::Release() {
    if (platform_->descriptor >= 0) close(platform_->descriptor);
    platform_->descriptor = -1;
}

bool SingleInstance::IsHeld() const {
    return platform_->descriptor >= 0;
}

}  // namespace os
