#include "os/inet_addr.h"

#include "os/windows_headers.h"

namespace os {

std::uint32_t InetAddr(const char* text) {
    return inet_addr(text);
}

}  // namespace os
