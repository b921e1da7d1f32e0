// Dotted IPv4 text to an address, by the platform's own inet_addr, so both builds
// accept and reject exactly the texts their platform does.
#pragma once

#include <cstdint>

namespace os {

constexpr std::uint32_t kInaddrNone = 0xFFFFFFFFu;

// The address in network byte order, or kInaddrNone when the text is rejected
// (which is also the value of the text 255.255.255.255).
std::uint32_t InetAddr(const char* text);

}  // namespace os
