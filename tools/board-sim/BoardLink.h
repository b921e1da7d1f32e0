// The board's side of the datagram link, without sockets: takes each datagram the
// server sent, keeps every new message once and in order, and builds the status
// datagram that carries the acknowledgement back.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "tools/board-sim/BoardMessage.h"
#include "tools/board-sim/LinkChecker.h"
#include "tools/board-sim/LinkCounters.h"
#include "tools/board-sim/link_wire.h"

namespace board_sim {

struct ReceiveOutcome {
    DatagramCheck check;
    bool accepted = false;
    // The accepted message, pointing into the datagram passed in; empty otherwise.
    std::span<const std::uint8_t> message;
    MessageReport report;
};

using StatusDatagram = std::array<std::uint8_t, kStatusDatagramSize>;

class BoardLink {
  public:
    ReceiveOutcome Receive(std::span<const std::uint8_t> datagram);

    // The next status datagram; each call counts one more built.
    StatusDatagram BuildStatus(std::uint32_t uptimeMs);

    std::uint32_t Ack() const { return checker_.Ack(); }
    const LinkCounters& Counters() const { return counters_; }

  private:
    void CountHeaderFaults(const HeaderFaults& faults);
    void CountAccepted(const DatagramCheck& check, const MessageReport& report,
                       std::size_t messageSize);

    LinkChecker checker_;
    LinkCounters counters_;
    std::uint32_t statusBuilt_ = 0;
};

}  // namespace board_sim
