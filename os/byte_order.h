// Little- and big-endian field access for protocol buffers. Packets are never
// cast to structs; fields are read and written at named offsets through these.
// The `read_*` forms take the received bytes and give nothing for a field that lies
// (even partly) past their end, for fields a short datagram may not carry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace os {

constexpr std::uint16_t load_le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

constexpr std::uint32_t load_le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::uint16_t load_be16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

constexpr std::uint32_t load_be32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

constexpr void store_le16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

constexpr void store_le32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

constexpr void store_be16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

constexpr void store_be32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

namespace detail {

constexpr bool holds(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t size) {
    return offset <= bytes.size() && size <= bytes.size() - offset;
}

}  // namespace detail

constexpr std::optional<std::uint16_t> read_le16(std::span<const std::uint8_t> bytes,
                                                 std::size_t offset) {
    if (!detail::holds(bytes, offset, 2)) return std::nullopt;
    return load_le16(bytes.data() + offset);
}

constexpr std::optional<std::uint32_t> read_le32(std::span<const std::uint8_t> bytes,
                                                 std::size_t offset) {
    if (!detail::holds(bytes, offset, 4)) return std::nullopt;
    return load_le32(bytes.data() + offset);
}

constexpr std::optional<std::uint16_t> read_be16(std::span<const std::uint8_t> bytes,
                                                 std::size_t offset) {
    if (!detail::holds(bytes, offset, 2)) return std::nullopt;
    return load_be16(bytes.data() + offset);
}

constexpr std::optional<std::uint32_t> read_be32(std::span<const std::uint8_t> bytes,
                                                 std::size_t offset) {
    if (!detail::holds(bytes, offset, 4)) return std::nullopt;
    return load_be32(bytes.data() + offset);
}

// Network to host order for a 32-bit value, without the platform's socket headers.
constexpr std::uint32_t ntoh32(std::uint32_t networkOrder) {
    std::uint8_t bytes[4] = {};
    store_le32(bytes, networkOrder);  // the in-memory bytes of a little-endian host
    return load_be32(bytes);
}

}  // namespace os
