#include "app/firmware_image.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/crc32.h"
#include "os/byte_order.h"

namespace app {
namespace {

// A bitwise CRC-32, independent of the table the image was built with.
std::uint32_t BitwiseCrc32(const std::uint8_t* data, std::size_t length) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

TEST(Crc32, MatchesTheStandardCheckValue) {
    const auto* text = reinterpret_cast<const std::uint8_t*>("123456789");
    EXPECT_EQ(Crc32(text, 9), 0xCBF43926u);
}

TEST(FirmwareImage, HeaderDescribesThePayload) {
    const std::uint8_t* image = FirmwareImage();
    EXPECT_EQ(std::memcmp(image, "EMCB", 4), 0);
    EXPECT_EQ(os::load_le32(image + kFirmwareVersionOffset), 1u);
    EXPECT_EQ(os::load_le32(image + kFirmwareLengthOffset), 21532u);
    for (std::size_t i = 16; i < kFirmwarePayloadOffset; ++i)
        EXPECT_EQ(image[i], 0) << i;
    EXPECT_EQ(
        os::load_le32(image + kFirmwareCrcOffset),
        BitwiseCrc32(image + kFirmwarePayloadOffset, kFirmwareImageSize - kFirmwarePayloadOffset));
}

TEST(FirmwareImage, PayloadIsTheXorshiftSequence) {
    const std::uint8_t* image = FirmwareImage();
    std::uint32_t state = kFirmwarePayloadSeed;
    for (std::size_t i = kFirmwarePayloadOffset; i < kFirmwareImageSize; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        ASSERT_EQ(image[i], static_cast<std::uint8_t>(state)) << i;
    }
}

}  // namespace
}  // namespace app
