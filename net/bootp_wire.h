// BOOTP messages (RFC 951): 300 bytes, multi-byte fields in network byte order. The
// server reads a request's op, htype, hlen, xid and chaddr, and answers with the same
// bytes, changing op, yiaddr, siaddr, sname, file and part of the vendor area.
#pragma once

#include <cstdint>

namespace net {

constexpr int kBootpOpOffset = 0;     // 1 request, 2 reply
constexpr int kBootpHtypeOffset = 1;  // 1 Ethernet
constexpr int kBootpHlenOffset = 2;   // the hardware address's length
constexpr int kBootpHopsOffset = 3;
constexpr int kBootpXidOffset = 4;  // u32, chosen by the client
constexpr int kBootpSecsOffset = 8;
constexpr int kBootpFlagsOffset = 10;   // RFC 1542's broadcast flag
constexpr int kBootpCiaddrOffset = 12;  // the client's address, when it has one
constexpr int kBootpYiaddrOffset = 16;  // the address given
constexpr int kBootpSiaddrOffset = 20;  // the server's address
constexpr int kBootpGiaddrOffset = 24;  // a relay agent's address
constexpr int kBootpChaddrOffset = 28;  // the client's hardware address
constexpr int kBootpChaddrSize = 16;
constexpr int kBootpSnameOffset = 44;  // the server's name, NUL-terminated
constexpr int kBootpSnameSize = 64;
constexpr int kBootpFileOffset = 108;  // the boot file's name, NUL-terminated
constexpr int kBootpFileSize = 128;
constexpr int kBootpVendOffset = 236;
// In the vendor area: four zero bytes, then the firmware image's first 16 bytes.
constexpr int kBootpVendZeroOffset = 264;
constexpr int kBootpVendZeroSize = 4;
constexpr int kBootpVendImageOffset = 268;
constexpr int kBootpVendImageSize = 16;
constexpr int kBootpMessageSize = 300;
static_assert(kBootpVendImageOffset + kBootpVendImageSize <= kBootpMessageSize);
constexpr std::uint8_t kBootpOpRequest = 1;
constexpr std::uint8_t kBootpOpReply = 2;
constexpr std::uint8_t kBootpHtypeEthernet = 1;

}  // namespace net
