#include "tools/board-sim/BoardMessage.h"

#include <algorithm>

#include "tools/board-sim/byte_fields.h"
#include "tools/board-sim/crc32.h"
#include "tools/board-sim/link_wire.h"

namespace board_sim {

namespace {

constexpr std::uint8_t kErasedFlashByte = 0xFF;
constexpr std::size_t kCrcSize = 4;
constexpr std::size_t kCrcCoverageStart = kConfigCrcOffset + kCrcSize;

std::optional<MessageKind> KindOfCommand(std::uint16_t command) {
    switch (command) {
        case kCommandConfigWrite:
            return MessageKind::kConfigWrite;
        case kCommandDisconnect:
            return MessageKind::kDisconnect;
        case kCommandValue:
            return MessageKind::kValue;
        case kCommandPattern:
            return MessageKind::kPattern;
        case kCommandDataBlock:
            return MessageKind::kDataBlock;
        case kCommandFpgaBytes:
            return MessageKind::kFpgaBytes;
        default:
            return std::nullopt;
    }
}

void InspectConfigWrite(std::span<const std::uint8_t> message, MessageReport& report) {
    if (message.size() != kConfigMessageLength) {
        report.violation = true;
        report.configCrcOk = false;
        return;
    }
    const ConfigBlock block =
        ExpandConfigBlock(message.subspan<kMessageHeaderSize, kConfigSentBytes>());
    report.configCrcOk = ConfigBlockCrcHolds(block);
    if (*report.configCrcOk) {
        report.configBlock = block;
    } else {
        report.violation = true;
    }
}

bool DisconnectWellFormed(std::span<const std::uint8_t> message) {
    if (message.size() == kDisconnectShortLength) return true;
    return message.size() == kDisconnectLongLength &&
           load_le32(message.data() + kDisconnectTrailerOffset) == kDisconnectTrailer;
}

bool BlockWellFormed(std::span<const std::uint8_t> message) {
    return message.size() <= kMessageHeaderSize + kMaxBlockBytes;
}

bool PatternWellFormed(std::span<const std::uint8_t> message) {
    return std::ranges::equal(message, kPatternMessage);
}

}  // namespace

const char* MessageKindName(MessageKind kind) {
    switch (kind) {
        case MessageKind::kConfigWrite:
            return "0x8E8E";
        case MessageKind::kDisconnect:
            return "0x7C7C";
        case MessageKind::kValue:
            return "0x6B6B";
        case MessageKind::kPattern:
            return "0x3412";
        case MessageKind::kDataBlock:
            return "0x1F1F";
        case MessageKind::kFpgaBytes:
            return "0xA5A5";
        case MessageKind::kUnparsed:
            break;
    }
    return "unparsed";
}

MessageReport InspectMessage(std::span<const std::uint8_t> message) {
    MessageReport report;
    if (message.size() < kMessageHeaderSize) return report;
    report.command = load_le16(message.data() + kMessageCommandOffset);
    const std::optional<MessageKind> kind = KindOfCommand(report.command);
    if (!kind) return report;

    report.kind = *kind;
    if (load_le16(message.data() + kMessageLengthOffset) != message.size()) {
        report.violation = true;
        if (*kind == MessageKind::kConfigWrite) report.configCrcOk = false;
        return report;
    }
    switch (*kind) {
        case MessageKind::kConfigWrite:
            InspectConfigWrite(message, report);
            break;
        case MessageKind::kDisconnect:
            report.violation = !DisconnectWellFormed(message);
            break;
        case MessageKind::kValue:
            report.violation = message.size() != kValueMessageLength;
            break;
        case MessageKind::kPattern:
            report.violation = !PatternWellFormed(message);
            break;
        case MessageKind::kDataBlock:
            report.violation = !BlockWellFormed(message);
            break;
        case MessageKind::kFpgaBytes:
            report.violation = !BlockWellFormed(message);
            if (!report.violation) report.fpgaBytes = message.size() - kMessageHeaderSize;
            break;
        case MessageKind::kUnparsed:
            break;
    }
    return report;
}

ConfigBlock ExpandConfigBlock(std::span<const std::uint8_t, 256> sentBytes) {
    ConfigBlock block;
    block.fill(kErasedFlashByte);
    std::ranges::copy(sentBytes, block.begin());
    return block;
}

bool ConfigBlockCrcHolds(const ConfigBlock& block) {
    // With the board's own CRC routine, not the configurator's block code, so the
    // simulated board checks that code rather than agreeing with it.
    return load_le32(block.data() + kConfigCrcOffset) ==
           Crc32(std::span(block).subspan(kCrcCoverageStart));
}

}  // namespace board_sim
