#include "os/inet_addr.h"

#include <arpa/inet.h>

namespace os {

std::uint32_t InetAddr(const char* text) {
    return inet_addr(text);
}

}  // namespace os
