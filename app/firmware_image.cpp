#include "app/firmware_image.h"

#include <array>

#include "app/crc32.h"
#include "os/byte_order.h"

namespace app {
namespace {

using Image = std::array<std::uint8_t, kFirmwareImageSize>;

constexpr Image GenerateImage() {
    Image image{};
    for (std::size_t i = 0; i < kFirmwareMagicSize; ++i)
        image[kFirmwareMagicOffset + i] = static_cast<std::uint8_t>(kFirmwareMagic[i]);
    os::store_le32(&image[kFirmwareVersionOffset], kFirmwareFormatVersion);
    os::store_le32(&image[kFirmwareLengthOffset], kFirmwareImageSize);

    std::uint32_t state = kFirmwarePayloadSeed;
    for (std::size_t i = kFirmwarePayloadOffset; i < kFirmwareImageSize; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image[i] = static_cast<std::uint8_t>(state);
    }

    const std::uint32_t crc =
        Crc32(&image[kFirmwarePayloadOffset], kFirmwareImageSize - kFirmwarePayloadOffset);
    os::store_le32(&image[kFirmwareCrcOffset], crc);
    return image;
}

// constexpr, so the whole image is computed by the compiler and lands in .rodata.
constexpr Image kImage = GenerateImage();

}  // namespace

const std::uint8_t* FirmwareImage() {
    return kImage.data();
}

}  // namespace app
