#include "tools/board-sim/built_in_image.h"

#include <vector>

#include "tools/board-sim/byte_fields.h"
#include "tools/board-sim/crc32.h"

namespace board_sim {
namespace {

constexpr std::size_t kImageSize = 21532;
constexpr std::size_t kVersionOffset = 4;
constexpr std::uint32_t kFormatVersion = 1;
constexpr std::uint32_t kPayloadSeed = 0x2545F491u;

ImageHeader WorkOutHeader() {
    std::vector<std::uint8_t> payload(kImageSize - kImagePayloadOffset);
    std::uint32_t state = kPayloadSeed;
    for (std::uint8_t& byte : payload) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state);
    }
    ImageHeader header{'E', 'M', 'C', 'B'};
    store_le32(&header[kVersionOffset], kFormatVersion);
    store_le32(&header[kImageLengthOffset], kImageSize);
    store_le32(&header[kImageCrcOffset], Crc32(payload));
    return header;
}

}  // namespace

const ImageHeader& BuiltInImageHeader() {
    static const ImageHeader header = WorkOutHeader();
    return header;
}

}  // namespace board_sim
