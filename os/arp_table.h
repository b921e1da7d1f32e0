// The computer's IPv4-to-hardware address table (ARP / neighbour table) in the
// platform's own record layout: a 32-bit little-endian entry count, then 24-byte
// entries, sorted by IPv4 address ascending. Windows: GetIpNetTable; Linux: the
// kernel's neighbour table (netlink). Thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace os {

constexpr std::size_t kArpCountOffset = 0;
constexpr std::size_t kArpEntriesOffset = 4;
constexpr std::size_t kArpEntrySize = 24;
// Within an entry (little-endian 32-bit integers, the IPv4 address in network order).
constexpr std::size_t kArpEntryIndexOffset = 0;
constexpr std::size_t kArpEntryLengthOffset = 4;
constexpr std::size_t kArpEntryAddressOffset = 8;
constexpr std::size_t kArpEntryAddressSize = 8;
constexpr std::size_t kArpEntryIpOffset = 16;
constexpr std::size_t kArpEntryTypeOffset = 20;

enum ArpEntryType : std::uint32_t {
    kArpTypeOther = 1,
    kArpTypeInvalid = 2,
    kArpTypeDynamic = 3,
    kArpTypeStatic = 4,
};

// Fills `buffer` (`capacity` bytes, 4-byte aligned) with the table; 0 on success,
// else the platform's error code (kErrorInsufficientBuffer when it does not fit),
// and the buffer then holds nothing to rely on.
constexpr std::uint32_t kErrorInsufficientBuffer = 122;
std::uint32_t ReadArpTable(std::uint8_t* buffer, std::uint32_t capacity);

}  // namespace os
