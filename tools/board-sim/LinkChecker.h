// Checks the transport header of each datagram the server sends and follows its
// sequence numbers, deciding per datagram whether the board takes its message in,
// drops it as a repeat, or refuses it. Works on byte buffers only, no sockets.
//
// The server runs stop-and-wait: one datagram outstanding, retransmitted with a
// rising retries field until acknowledged. So from the board's side a datagram is
// either the next sequence number (new), the last accepted one again (a
// retransmission because the acknowledgement was lost, or a duplicate made by the
// network), an older accepted one (a late duplicate), or something no correct
// sender produces: a gap, which is refused so that the acknowledgement never
// covers a message the board did not get.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace board_sim {

struct HeaderFaults {
    bool length = false;   // length field differs from the datagram size or is out of range
    bool check = false;    // length check is not the complement of the length
    bool type = false;     // type is not 0
    bool ack = false;      // ack is not the fixed server value
    bool seq = false;      // neither the next sequence number nor one already accepted
    bool retries = false;  // a changed repeat of the last accepted datagram without more retries

    bool Framing() const { return length || check || type || ack; }
    bool Any() const { return Framing() || seq || retries; }
};

enum class DatagramVerdict {
    kAccept,     // a new message: keep it
    kDuplicate,  // a sequence number already accepted: drop, acknowledge again
    kRefuse,     // unusable header or a sequence gap: drop, acknowledgement unchanged
};

struct DatagramCheck {
    DatagramVerdict verdict = DatagramVerdict::kRefuse;
    HeaderFaults faults;
    bool headerRead = false;  // framing was sound, so seq and retries below are meaningful
    std::uint32_t seq = 0;
    std::uint16_t retries = 0;
};

class LinkChecker {
  public:
    DatagramCheck Check(std::span<const std::uint8_t> datagram);

    // The highest sequence number accepted; 0 before the first.
    std::uint32_t Ack() const { return lastAcceptedSeq_; }
    bool HasAccepted() const { return acceptedCount_ != 0; }

  private:
    static HeaderFaults CheckFraming(std::span<const std::uint8_t> datagram);
    void FollowSequence(std::span<const std::uint8_t> datagram, DatagramCheck& check);
    void CheckRepeat(std::span<const std::uint8_t> datagram, DatagramCheck& check);
    void Accept(std::span<const std::uint8_t> datagram, const DatagramCheck& check);
    bool AlreadyAccepted(std::uint32_t seq) const;

    std::uint32_t lastAcceptedSeq_ = 0;
    std::uint64_t acceptedCount_ = 0;
    // Highest retries value seen for the last accepted sequence number, and its
    // latest copy, to tell a retransmission from a network duplicate.
    std::uint16_t lastRetriesSeen_ = 0;
    std::vector<std::uint8_t> lastCopy_;
};

}  // namespace board_sim
