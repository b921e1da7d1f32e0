#include "tools/board-sim/TftpClient.h"

#include <algorithm>
#include <utility>

#include "tools/board-sim/built_in_image.h"
#include "tools/board-sim/byte_fields.h"
#include "tools/board-sim/crc32.h"

namespace board_sim {
namespace {

constexpr std::size_t kOpcodeOffset = 0;
constexpr std::size_t kBlockOffset = 2;
constexpr std::size_t kDataOffset = 4;
constexpr std::size_t kTftpHeaderSize = 4;
constexpr std::size_t kBlockContent = 512;
constexpr std::uint16_t kOpRrq = 1;
constexpr std::uint16_t kOpData = 3;
constexpr std::uint16_t kOpAck = 4;
constexpr std::uint16_t kOpError = 5;
constexpr std::uint16_t kErrorNotDefined = 0;
constexpr const char* kMode = "octet";
constexpr const char* kFlashErrorText = "flash programming failed";

void AppendText(TftpClient::Packet& packet, const std::string& text) {
    packet.insert(packet.end(), text.begin(), text.end());
    packet.push_back(0);
}

}  // namespace

TftpClient::TftpClient(TftpClientConfig config, std::uint16_t serverPort)
    : config_(std::move(config)), serverPort_(serverPort) {}

TftpClient::Outgoing TftpClient::Request() {
    Packet packet(kTftpHeaderSize - kBlockOffset);
    store_be16(packet.data() + kOpcodeOffset, kOpRrq);
    AppendText(packet, config_.fileName);
    AppendText(packet, kMode);
    ++counters_.requestsSent;
    return {std::move(packet), serverPort_};
}

std::optional<TftpClient::Outgoing> TftpClient::OnDatagram(std::span<const std::uint8_t> datagram,
                                                           std::uint16_t fromPort) {
    if (phase_ == Phase::Failed) return std::nullopt;
    if (transferPort_ != 0 && fromPort != transferPort_) {
        ++counters_.foreignPackets;
        return std::nullopt;
    }
    if (datagram.size() < kTftpHeaderSize || datagram.size() > kTftpHeaderSize + kBlockContent ||
        load_be16(datagram.data() + kOpcodeOffset) != kOpData) {
        ++counters_.malformed;
        return std::nullopt;
    }
    const std::uint16_t block = load_be16(datagram.data() + kBlockOffset);
    NoteReceipt(block);
    if (block == lastBlock_ && lastBlock_ != 0) {
        ++counters_.duplicates;
        return Ack(block);  // our ACK was lost: the server is waiting for it
    }
    if (block != static_cast<std::uint16_t>(lastBlock_ + 1) || phase_ == Phase::Complete) {
        ++counters_.malformed;
        return std::nullopt;
    }
    transferPort_ = fromPort;
    phase_ = Phase::Receiving;
    if (block == config_.errorAtBlock) return Error();

    content_.insert(content_.end(), datagram.begin() + kDataOffset, datagram.end());
    lastBlock_ = block;
    ++counters_.blocks;
    counters_.bytes += datagram.size() - kTftpHeaderSize;
    if (datagram.size() < kTftpHeaderSize + kBlockContent) phase_ = Phase::Complete;
    return Ack(block);
}

std::optional<TftpClient::Outgoing> TftpClient::OnTimeout() {
    ++counters_.timeouts;
    if (phase_ == Phase::Requesting) return Request();
    // Our last ACK may have been lost; the server ignores it if it was not.
    if (phase_ == Phase::Receiving) return Ack(lastBlock_);
    return std::nullopt;
}

void TftpClient::NoteReceipt(std::uint16_t block) {
    if (receipts_.size() <= block) receipts_.resize(block + 1u, 0);
    counters_.maxReceiptsOfABlock = std::max(counters_.maxReceiptsOfABlock, ++receipts_[block]);
}

TftpClient::Outgoing TftpClient::Ack(std::uint16_t block) {
    Packet packet(kTftpHeaderSize);
    store_be16(packet.data() + kOpcodeOffset, kOpAck);
    store_be16(packet.data() + kBlockOffset, block);
    ++counters_.acksSent;
    return {std::move(packet), transferPort_};
}

TftpClient::Outgoing TftpClient::Error() {
    Packet packet(kTftpHeaderSize);
    store_be16(packet.data() + kOpcodeOffset, kOpError);
    store_be16(packet.data() + kBlockOffset, kErrorNotDefined);
    AppendText(packet, kFlashErrorText);
    ++counters_.errorsSent;
    phase_ = Phase::Failed;
    return {std::move(packet), transferPort_};
}

bool TftpClient::LengthOk() const {
    return config_.expectedLength >= kImagePayloadOffset &&
           content_.size() == config_.expectedLength - kImagePayloadOffset;
}

std::uint32_t TftpClient::Crc() const {
    return Crc32(content_);
}

bool TftpClient::CrcOk() const {
    return phase_ == Phase::Complete && Crc() == config_.expectedCrc;
}

}  // namespace board_sim
