// The firmware image the board loads: 21,532 bytes in read-only data, generated at
// compile time. Layout, so that a board can check what it loaded:
//   0  magic "EMCB"           4  format version 1 (LE)   8  image length (LE)
//   12 CRC-32 of bytes 28..end (LE)   16 twelve zero bytes
//   28 payload: 21,504 xorshift32 bytes (seed 0x2545F491)
// The first 16 bytes travel in every BOOTP reply, bytes 28..end over TFTP.
#pragma once

#include <cstddef>
#include <cstdint>

namespace app {

constexpr std::size_t kFirmwareImageSize = 21532;
constexpr std::size_t kFirmwareMagicOffset = 0;
constexpr std::size_t kFirmwareMagicSize = 4;
constexpr char kFirmwareMagic[kFirmwareMagicSize + 1] = "EMCB";
constexpr std::size_t kFirmwareVersionOffset = 4;
constexpr std::size_t kFirmwareLengthOffset = 8;
constexpr std::size_t kFirmwareCrcOffset = 12;
constexpr std::size_t kFirmwareReservedOffset = 16;  // twelve zero bytes
constexpr std::size_t kFirmwareReservedSize = 12;
constexpr std::size_t kFirmwarePayloadOffset = 28;
static_assert(kFirmwareReservedOffset + kFirmwareReservedSize == kFirmwarePayloadOffset);
constexpr std::size_t kFirmwareHeaderSentByBootp = 16;
constexpr std::uint32_t kFirmwareFormatVersion = 1;
constexpr std::uint32_t kFirmwarePayloadSeed = 0x2545F491u;

// The image's first byte; kFirmwareImageSize bytes follow.
const std::uint8_t* FirmwareImage();

}  // namespace app
