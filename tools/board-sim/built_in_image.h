// The firmware image the configurator serves unless it is given another, as the board
// knows it: magic "EMCB", format version 1, the image length and the CRC-32 of bytes
// 28..end (all little-endian), twelve zero bytes, then 21,504 xorshift32 bytes from seed
// 0x2545F491. Worked out here rather than taken from the configurator, so that the board
// checks the image it is served.
#pragma once

#include <cstddef>

#include "tools/board-sim/BootpExchange.h"

namespace board_sim {

constexpr std::size_t kImageLengthOffset = 8;
constexpr std::size_t kImageCrcOffset = 12;
constexpr std::size_t kImagePayloadOffset = 28;  // what TFTP carries starts here

// The image's first 16 bytes, as a BOOTP reply carries them.
const ImageHeader& BuiltInImageHeader();

}  // namespace board_sim
