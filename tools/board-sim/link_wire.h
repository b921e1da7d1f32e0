// Layout of the datagram link between the computer (the server) and the board.
// Every field is little-endian and read or written at these offsets. The board keeps
// its own definitions on purpose, as an independent check of the configurator's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace board_sim {

// Transport header in front of every datagram the server sends.
constexpr std::size_t kHeaderLengthOffset = 0;
constexpr std::size_t kHeaderLengthCheckOffset = 2;
constexpr std::size_t kHeaderTypeOffset = 4;
constexpr std::size_t kHeaderRetriesOffset = 6;
constexpr std::size_t kHeaderAckOffset = 8;
constexpr std::size_t kHeaderSeqOffset = 12;
constexpr std::size_t kHeaderSize = 16;

constexpr std::size_t kMinDatagramLength = kHeaderSize + 1;
constexpr std::size_t kMaxDatagramLength = 8192;
constexpr std::size_t kMaxPayloadLength = kMaxDatagramLength - kHeaderSize;
constexpr std::uint16_t kHeaderType = 0;
constexpr std::uint32_t kServerAckValue = 0xEEEEEEEEu;

// Board message: the payload of a server datagram.
constexpr std::size_t kMessageLengthOffset = 0;
constexpr std::size_t kMessageCommandOffset = 2;
constexpr std::size_t kMessageHeaderSize = 4;

constexpr std::uint16_t kCommandConfigWrite = 0x8E8E;
constexpr std::uint16_t kCommandDisconnect = 0x7C7C;
constexpr std::uint16_t kCommandValue = 0x6B6B;
constexpr std::uint16_t kCommandPattern = 0x3412;
constexpr std::uint16_t kCommandDataBlock = 0x1F1F;
constexpr std::uint16_t kCommandFpgaBytes = 0xA5A5;

// The configuration block the board keeps: 1024 bytes, the CRC-32 of bytes 4..1023 at
// 0 and the board's IP address (its host-order value) at 4. A write carries bytes 0..255.
constexpr std::size_t kConfigBlockSize = 1024;
constexpr std::size_t kConfigCrcOffset = 0;
constexpr std::size_t kConfigIpAddressOffset = 4;
using ConfigBlock = std::array<std::uint8_t, kConfigBlockSize>;
constexpr std::size_t kConfigSentBytes = 256;
constexpr std::size_t kConfigMessageLength = kMessageHeaderSize + kConfigSentBytes;
constexpr std::size_t kDisconnectShortLength = kMessageHeaderSize;
constexpr std::size_t kDisconnectValueOffset = kMessageHeaderSize;
constexpr std::size_t kDisconnectValueSize = 4;
constexpr std::size_t kDisconnectTrailerOffset = kDisconnectValueOffset + kDisconnectValueSize;
constexpr std::size_t kDisconnectLongLength = kDisconnectTrailerOffset + 4;
constexpr std::uint32_t kDisconnectTrailer = 0x88888888u;
constexpr std::size_t kValueMessageLength = 8;
// The pattern message is always these eight bytes.
constexpr std::uint8_t kPatternMessage[] = {0x08, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
constexpr std::size_t kMaxBlockBytes = 1024;

// Status datagram the board sends: its acknowledgement and counters.
constexpr std::size_t kStatusAckOffset = 8;
constexpr std::size_t kStatusSentCountOffset = 36;
constexpr std::size_t kStatusFpgaBytesOffset = 40;
constexpr std::size_t kStatusReceivedCountOffset = 48;
constexpr std::size_t kStatusAcceptedCountOffset = 52;
constexpr std::size_t kStatusUptimeOffset = 60;
constexpr std::size_t kStatusDuplicatesOffset = 72;
constexpr std::size_t kStatusHeaderViolationsOffset = 76;
constexpr std::size_t kStatusMessageViolationsOffset = 80;
constexpr std::size_t kStatusConfigWritesOffset = 84;
constexpr std::size_t kStatusLastCommandOffset = 88;
constexpr std::size_t kStatusAcceptedBytesOffset = 92;
constexpr std::size_t kStatusPayloadLengthOffset = 100;
constexpr std::size_t kStatusDatagramSize = 108;

}  // namespace board_sim
