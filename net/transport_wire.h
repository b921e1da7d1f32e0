// The link's transport header: 16 bytes in front of every datagram, little-endian.
// The computer fills every field; of the board's header it reads only the
// acknowledgement number.
#pragma once

#include <cstdint>

namespace net {

constexpr int kTransportLengthOffset = 0;   // u16: the datagram's bytes, header included
constexpr int kTransportCheckOffset = 2;    // u16: the length's ones' complement
constexpr int kTransportTypeOffset = 4;     // u16: the entry's type
constexpr int kTransportRetriesOffset = 6;  // u16: 0, then one more for each repeat
constexpr int kTransportAckOffset = 8;      // u32: kComputerAckField from the computer
constexpr int kTransportSeqOffset = 12;     // u32: the datagram's sequence number
constexpr int kTransportHeaderSize = 16;
constexpr int kMaxDatagramSize = 8192;
constexpr int kMaxPayloadSize = kMaxDatagramSize - kTransportHeaderSize;
constexpr std::uint32_t kComputerAckField = 0xEEEEEEEEu;
// In board datagrams: the highest sequence number the board has received.
constexpr int kBoardAckOffset = kTransportAckOffset;
constexpr int kBoardAckEnd = kBoardAckOffset + 4;

}  // namespace net
