// What the board and the computer say over the link, inside the transport header.
// Both directions are little-endian.
#pragma once

#include <cstdint>

namespace device {

// Board datagrams: the transport header (bytes 0..15), then u32 status values, a
// payload length and the payload. Bytes 16..35 and those between the values carry
// nothing the computer reads.
constexpr int kStatusValue0Offset = 36;
constexpr int kFpgaBytesReceivedOffset = 40;  // the board's count of FPGA bytes received
constexpr int kStatusValue2Offset = 48;
constexpr int kStatusValue3Offset = 52;
constexpr int kLastHeadValueOffset = 60;  // kept with the head, read by LastHeadValue
constexpr int kStatusValue4Offset = 72;
constexpr int kStatusValue5Offset = 76;
constexpr int kStatusValue6Offset = 80;
constexpr int kStatusValue7Offset = 84;
constexpr int kStatusValue8Offset = 88;
constexpr int kStatusValue9Offset = 92;
constexpr int kPayloadLengthOffset = 100;
constexpr int kPayloadOffset = 108;
constexpr int kLastHeadSize = 109;  // the bytes of each datagram the device keeps

// The status values in the order the device reports them.
constexpr int kBoardValueCount = 10;
constexpr int kBoardValueOffsets[kBoardValueCount] = {
    kStatusValue0Offset, kFpgaBytesReceivedOffset, kStatusValue2Offset, kStatusValue3Offset,
    kStatusValue4Offset, kStatusValue5Offset,      kStatusValue6Offset, kStatusValue7Offset,
    kStatusValue8Offset, kStatusValue9Offset};
constexpr int kFpgaCountValue = 1;  // kBoardValueOffsets[1] is kFpgaBytesReceivedOffset
static_assert(kBoardValueOffsets[kFpgaCountValue] == kFpgaBytesReceivedOffset);

// Board messages: u16 length (header included), u16 command, payload.
constexpr int kMessageLengthOffset = 0;
constexpr int kMessageCommandOffset = 2;
constexpr int kMessagePayloadOffset = 4;
constexpr int kMessageHeaderSize = kMessagePayloadOffset;
constexpr int kMaxMessagePayload = 1024;
constexpr std::uint16_t kCommandWriteConfig = 0x8E8E;  // the block's first 256 bytes
constexpr std::uint16_t kCommandDisconnect = 0x7C7C;   // empty, or a value and the trailer
constexpr std::uint16_t kCommandValue = 0x6B6B;        // a u32
constexpr std::uint16_t kCommandPattern = 0x3412;
constexpr std::uint16_t kCommandDataBlocks = 0x1F1F;
constexpr std::uint16_t kCommandFpga = 0xA5A5;
constexpr int kConfigBytesSent = 256;

// The disconnect that carries a value: the u32, then four trailer bytes.
constexpr int kDisconnectValueOffset = 0;
constexpr int kDisconnectTrailerOffset = 4;
constexpr int kDisconnectTrailerSize = 4;
constexpr std::uint8_t kDisconnectTrailerByte = 0x88;
constexpr int kDisconnectValuePayloadSize = kDisconnectTrailerOffset + kDisconnectTrailerSize;

}  // namespace device
