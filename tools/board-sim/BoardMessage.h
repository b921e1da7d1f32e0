// What the board makes of one accepted message: which command it is and whether it
// is well formed. Payloads that are not board messages at all (the link test sends
// random bytes) are reported as unparsed, not as faults.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "tools/board-sim/link_wire.h"

namespace board_sim {

enum class MessageKind {
    kConfigWrite,
    kDisconnect,
    kValue,
    kPattern,
    kDataBlock,
    kFpgaBytes,
    kUnparsed,
};
constexpr std::size_t kMessageKindCount = 7;

// The command word as the summary names it ("0x8E8E"), or "unparsed".
const char* MessageKindName(MessageKind kind);

struct MessageReport {
    MessageKind kind = MessageKind::kUnparsed;
    std::uint16_t command = 0;
    bool violation = false;
    // For a configuration write: whether its CRC held, and the full block when it did.
    std::optional<bool> configCrcOk;
    std::optional<ConfigBlock> configBlock;
    std::size_t fpgaBytes = 0;
};

MessageReport InspectMessage(std::span<const std::uint8_t> message);

// The 1024-byte block the board keeps for the 256 bytes a configuration write carries
// (the rest erased flash, FF), and whether the CRC at its start covers it.
ConfigBlock ExpandConfigBlock(std::span<const std::uint8_t, kConfigSentBytes> sentBytes);
bool ConfigBlockCrcHolds(const ConfigBlock& block);

}  // namespace board_sim
