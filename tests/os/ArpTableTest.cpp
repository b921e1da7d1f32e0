#include "os/arp_table.h"

#include <gtest/gtest.h>

#include <vector>

#include "os/byte_order.h"

namespace os {
namespace {

constexpr std::uint32_t kCapacity = 32768;

TEST(ArpTable, EntriesAreSortedByAddressWithLengthsWithinTheirField) {
    alignas(std::uint32_t) static std::uint8_t table[kCapacity];
    ASSERT_EQ(ReadArpTable(table, kCapacity), 0u);
    const std::uint32_t count = load_le32(table + kArpCountOffset);
    ASSERT_LE(kArpEntriesOffset + count * kArpEntrySize, kCapacity);
    std::uint32_t previous = 0;
    for (std::uint32_t n = 0; n < count; ++n) {
        const std::uint8_t* entry = table + kArpEntriesOffset + n * kArpEntrySize;
        EXPECT_LE(load_le32(entry + kArpEntryLengthOffset), kArpEntryAddressSize);
        const std::uint32_t type = load_le32(entry + kArpEntryTypeOffset);
        EXPECT_GE(type, static_cast<std::uint32_t>(kArpTypeOther));
        EXPECT_LE(type, static_cast<std::uint32_t>(kArpTypeStatic));
        const std::uint32_t address = load_be32(entry + kArpEntryIpOffset);
        EXPECT_GE(address, previous) << "entry " << n;
        previous = address;
    }
}

TEST(ArpTable, BufferWithoutRoomForTheCountIsRefused) {
    alignas(std::uint32_t) std::uint8_t tiny[4] = {};
    EXPECT_NE(ReadArpTable(tiny, 2), 0u);
}

}  // namespace
}  // namespace os
