// Datagrams and board messages as a server would send them, for the board-sim tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "app/config_block.h"
#include "os/byte_order.h"
#include "tools/board-sim/link_wire.h"

namespace board_sim::testing {

using Bytes = std::vector<std::uint8_t>;

// The transport header counts a datagram's length in 16 bits.
constexpr std::size_t kLengthFieldMaximum = 0xFFFF;

inline Bytes Datagram(std::uint32_t seq, std::uint16_t retries,
                      std::span<const std::uint8_t> message) {
    // Without this bound GCC 12 at -O3 follows a size that wraps kHeaderSize + size()
    // and flags the copy below (-Wstringop-overflow).
    if (message.size() > kLengthFieldMaximum) return {};
    Bytes datagram(kHeaderSize + message.size());
    const auto length = static_cast<std::uint16_t>(datagram.size());
    os::store_le16(datagram.data() + kHeaderLengthOffset, length);
    os::store_le16(datagram.data() + kHeaderLengthCheckOffset, static_cast<std::uint16_t>(~length));
    os::store_le16(datagram.data() + kHeaderTypeOffset, kHeaderType);
    os::store_le16(datagram.data() + kHeaderRetriesOffset, retries);
    os::store_le32(datagram.data() + kHeaderAckOffset, kServerAckValue);
    os::store_le32(datagram.data() + kHeaderSeqOffset, seq);
    std::copy(message.begin(), message.end(), datagram.begin() + kHeaderSize);
    return datagram;
}

// A board message: length, command, then `body`.
inline Bytes Message(std::uint16_t command, std::span<const std::uint8_t> body = {}) {
    Bytes message(kMessageHeaderSize + body.size());
    os::store_le16(message.data() + kMessageLengthOffset,
                   static_cast<std::uint16_t>(message.size()));
    os::store_le16(message.data() + kMessageCommandOffset, command);
    std::copy(body.begin(), body.end(), message.begin() + kMessageHeaderSize);
    return message;
}

inline Bytes Message(std::uint16_t command, std::initializer_list<std::uint8_t> body) {
    const Bytes bytes(body);
    return Message(command, bytes);
}

// A configuration block built by the configurator's own code.
inline app::ConfigBlock SampleConfigBlock() {
    app::ConfigBlock block{};
    app::BuildConfigBlock("192.168.7.20", "00-1B-2C-3D-4E-5F", "Axis 3", block.data());
    return block;
}

// The configuration write for `block`: its first 256 bytes.
inline Bytes ConfigWrite(const app::ConfigBlock& block) {
    return Message(kCommandConfigWrite,
                   std::span<const std::uint8_t>(block.data(), kConfigSentBytes));
}

}  // namespace board_sim::testing
