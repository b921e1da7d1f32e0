// CRC-32 of IEEE 802.3: reflected polynomial 0xEDB88320, initial value and final
// exclusive-or 0xFFFFFFFF, table-driven one byte at a time. Usable at compile time,
// which is how the firmware image gets its checksum.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace app {

namespace detail {
constexpr std::array<std::uint32_t, 256> MakeCrc32Table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
inline constexpr std::array<std::uint32_t, 256> kCrc32Table = MakeCrc32Table();
}  // namespace detail

// Continues a running CRC register (start with 0xFFFFFFFF, finish with ~).
constexpr std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data,
                                    std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        crc = detail::kCrc32Table[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return crc;
}

constexpr std::uint32_t Crc32(const std::uint8_t* data, std::size_t length) {
    return ~Crc32Update(0xFFFFFFFFu, data, length);
}

}  // namespace app
