// The bounded readers: a field is read only when every one of its bytes was received.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>

#include "os/byte_order.h"

namespace os {
namespace {

constexpr std::array<std::uint8_t, 6> kBytes = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

TEST(BoundedRead, FieldEndingOnTheLastByteIsReadInEachByteOrder) {
    EXPECT_EQ(read_le32(kBytes, 2), 0x66554433u);
    EXPECT_EQ(read_be32(kBytes, 2), 0x33445566u);
    EXPECT_EQ(read_le16(kBytes, 4), 0x6655u);
    EXPECT_EQ(read_be16(kBytes, 4), 0x5566u);
    EXPECT_EQ(read_le32(kBytes, 0), 0x44332211u);
}

TEST(BoundedRead, FieldReachingPastTheEndOrStartingBeyondItIsAbsent) {
    EXPECT_FALSE(read_le32(kBytes, 3));
    EXPECT_FALSE(read_be32(kBytes, 3));
    EXPECT_FALSE(read_le16(kBytes, 5));
    EXPECT_FALSE(read_be16(kBytes, 5));
    EXPECT_FALSE(read_le32(kBytes, kBytes.size()));
    EXPECT_FALSE(read_le32(kBytes, 100));
    EXPECT_FALSE(read_le16(std::span<const std::uint8_t>(), 0));
}

TEST(BoundedRead, OffsetNearTheTopOfSizeTDoesNotWrapIntoTheBuffer) {
    constexpr std::size_t kTop = std::numeric_limits<std::size_t>::max();
    EXPECT_FALSE(read_le32(kBytes, kTop));
    EXPECT_FALSE(read_le32(kBytes, kTop - 2));
    EXPECT_FALSE(read_be16(kBytes, kTop));
}

}  // namespace
}  // namespace os
