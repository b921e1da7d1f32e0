// CRC-32 of IEEE 802.3: reflected polynomial 0xEDB88320, register preset and final
// exclusive-or 0xFFFFFFFF. Worked bit by bit, apart from the configurator's table-driven
// routine, so that a fault in either shows as a mismatch rather than as agreement.
#pragma once

#include <cstdint>
#include <span>

namespace board_sim {

constexpr std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    constexpr std::uint32_t kPolynomial = 0xEDB88320u;
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) != 0 ? (crc >> 1) ^ kPolynomial : crc >> 1;
    }
    return ~crc;
}

}  // namespace board_sim
