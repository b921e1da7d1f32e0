#include "tools/board-sim/LinkChecker.h"

#include <algorithm>

#include "tools/board-sim/byte_fields.h"
#include "tools/board-sim/link_wire.h"

namespace board_sim {

namespace {

// Serial-number comparison of 16-bit counters, so a retries field that wrapped past
// 0xFFFF still counts as rising.
constexpr std::uint16_t kHalfRetriesRange = 0x8000;

bool RetriesRose(std::uint16_t previous, std::uint16_t current) {
    const auto step = static_cast<std::uint16_t>(current - previous);
    return step != 0 && step < kHalfRetriesRange;
}

}  // namespace

DatagramCheck LinkChecker::Check(std::span<const std::uint8_t> datagram) {
    DatagramCheck check;
    check.faults = CheckFraming(datagram);
    if (check.faults.Framing()) return check;

    check.headerRead = true;
    check.seq = load_le32(datagram.data() + kHeaderSeqOffset);
    check.retries = load_le16(datagram.data() + kHeaderRetriesOffset);
    FollowSequence(datagram, check);
    return check;
}

HeaderFaults LinkChecker::CheckFraming(std::span<const std::uint8_t> datagram) {
    HeaderFaults faults;
    if (datagram.size() < kHeaderSize) {
        faults.length = true;  // nothing else can be read
        return faults;
    }
    const std::uint8_t* header = datagram.data();
    const std::uint16_t length = load_le16(header + kHeaderLengthOffset);
    const std::uint16_t lengthCheck = load_le16(header + kHeaderLengthCheckOffset);
    faults.length =
        length != datagram.size() || length < kMinDatagramLength || length > kMaxDatagramLength;
    faults.check = lengthCheck != static_cast<std::uint16_t>(~length);
    faults.type = load_le16(header + kHeaderTypeOffset) != kHeaderType;
    faults.ack = load_le32(header + kHeaderAckOffset) != kServerAckValue;
    return faults;
}

void LinkChecker::FollowSequence(std::span<const std::uint8_t> datagram, DatagramCheck& check) {
    // The first datagram seen sets where the sequence starts: the server may begin
    // anywhere, and a stop-and-wait sender cannot have sent a second one yet.
    if (!HasAccepted() || check.seq == static_cast<std::uint32_t>(lastAcceptedSeq_ + 1)) {
        check.verdict = DatagramVerdict::kAccept;
        Accept(datagram, check);
    } else if (check.seq == lastAcceptedSeq_) {
        check.verdict = DatagramVerdict::kDuplicate;
        CheckRepeat(datagram, check);
    } else if (AlreadyAccepted(check.seq)) {
        check.verdict = DatagramVerdict::kDuplicate;
    } else {
        check.verdict = DatagramVerdict::kRefuse;
        check.faults.seq = true;
    }
}

void LinkChecker::CheckRepeat(std::span<const std::uint8_t> datagram, DatagramCheck& check) {
    const bool networkDuplicate = std::ranges::equal(datagram, lastCopy_);
    if (networkDuplicate) return;
    if (RetriesRose(lastRetriesSeen_, check.retries)) {
        lastRetriesSeen_ = check.retries;
    } else {
        check.faults.retries = true;
    }
    lastCopy_.assign(datagram.begin(), datagram.end());
}

void LinkChecker::Accept(std::span<const std::uint8_t> datagram, const DatagramCheck& check) {
    lastAcceptedSeq_ = check.seq;
    ++acceptedCount_;
    lastRetriesSeen_ = check.retries;
    lastCopy_.assign(datagram.begin(), datagram.end());
}

bool LinkChecker::AlreadyAccepted(std::uint32_t seq) const {
    // How far back from the last accepted one, modulo 2^32, so a wrap past
    // 0xFFFFFFFF keeps the earlier numbers recognised.
    const std::uint32_t behind = lastAcceptedSeq_ - seq;
    return behind != 0 && behind < acceptedCount_;
}

}  // namespace board_sim
