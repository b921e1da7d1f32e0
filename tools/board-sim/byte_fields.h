// Little- and big-endian fields of the packets the board reads and writes, at named
// offsets. The board keeps its own, as it keeps its own wire layout, so that it checks
// the configurator's packets instead of sharing their code.
#pragma once

#include <cstdint>

namespace board_sim {

constexpr std::uint16_t load_le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

constexpr std::uint32_t load_le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(load_le16(p)) |
           (static_cast<std::uint32_t>(load_le16(p + 2)) << 16);
}

constexpr std::uint16_t load_be16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

constexpr std::uint32_t load_be32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(load_be16(p)) << 16) | load_be16(p + 2);
}

constexpr void store_le32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

constexpr void store_be16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

constexpr void store_be32(std::uint8_t* p, std::uint32_t v) {
    store_be16(p, static_cast<std::uint16_t>(v >> 16));
    store_be16(p + 2, static_cast<std::uint16_t>(v));
}

}  // namespace board_sim
