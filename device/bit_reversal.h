// FPGA bitstream bytes travel with their bit order reversed: bit 0 of the sent byte
// is bit 7 of the bitstream byte, and so on.
#pragma once

#include <array>
#include <cstdint>

namespace device {

namespace detail {
constexpr std::array<std::uint8_t, 256> MakeBitReversalTable() {
    std::array<std::uint8_t, 256> table{};
    for (int value = 0; value < 256; ++value) {
        int reversed = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if ((value >> bit) & 1) reversed |= 0x80 >> bit;
        }
        table[static_cast<std::size_t>(value)] = static_cast<std::uint8_t>(reversed);
    }
    return table;
}
}  // namespace detail

inline constexpr std::array<std::uint8_t, 256> kBitReversal = detail::MakeBitReversalTable();

}  // namespace device
