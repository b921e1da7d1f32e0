// TFTP packets (RFC 1350): a big-endian u16 opcode, then the opcode's fields.
//   RRQ/WRQ  file name, NUL, mode, NUL (RFC 2347 options may follow)
//   DATA     u16 block number, 0..512 content bytes
//   ACK      u16 block number
//   ERROR    u16 error code, message, NUL
#pragma once

#include <cstdint>

namespace net {

constexpr int kTftpOpcodeOffset = 0;
constexpr int kTftpOpcodeSize = 2;
constexpr int kTftpFileNameOffset = 2;  // of a request
constexpr int kTftpBlockOffset = 2;     // of DATA and ACK
constexpr int kTftpBlockSize = 2;
constexpr int kTftpErrorCodeOffset = 2;
constexpr int kTftpErrorMessageOffset = 4;
constexpr int kTftpDataOffset = 4;
constexpr int kTftpDataHeaderSize = 4;
constexpr int kTftpBlockContentSize = 512;
constexpr int kTftpMaxDataPacket = kTftpDataHeaderSize + kTftpBlockContentSize;
constexpr std::uint16_t kTftpOpRrq = 1;
constexpr std::uint16_t kTftpOpWrq = 2;
constexpr std::uint16_t kTftpOpData = 3;
constexpr std::uint16_t kTftpOpAck = 4;
constexpr std::uint16_t kTftpOpError = 5;
constexpr std::uint16_t kTftpOpHighest = 6;  // OACK (RFC 2347)
// The served content starts after the image's 28-byte header.
constexpr std::uint32_t kTftpContentOffset = 28;
// Block numbers are 16 bits and the block after a full one ends the file, so content
// of 65535 full blocks would need a 65536th: the most that can be served is one less.
constexpr std::uint32_t kTftpMaxContentSize = 65535u * kTftpBlockContentSize - 1;

}  // namespace net
