// What the board has seen on the link so far, for its status datagrams and the
// summary printed at exit.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "tools/board-sim/BoardMessage.h"

namespace board_sim {

struct HeaderViolationCounts {
    std::uint64_t length = 0;
    std::uint64_t check = 0;
    std::uint64_t type = 0;
    std::uint64_t ack = 0;
    std::uint64_t seq = 0;
    std::uint64_t retries = 0;

    // Every fault of every kind; a datagram with two faults counts twice.
    std::uint64_t Total() const { return length + check + type + ack + seq + retries; }
};

struct LinkCounters {
    std::uint64_t datagramsProcessed = 0;
    std::uint64_t messagesAccepted = 0;
    std::uint64_t acceptedBytes = 0;
    std::array<std::uint64_t, kMessageKindCount> messagesByKind{};
    std::uint64_t duplicatesDropped = 0;
    HeaderViolationCounts headerViolations;
    std::uint64_t messageViolations = 0;
    std::uint16_t maxRetriesSeen = 0;
    std::optional<std::uint16_t> firstMessageRetries;
    std::optional<std::uint32_t> firstSeq;
    std::uint64_t fpgaBytes = 0;
    std::uint64_t configWrites = 0;  // configuration writes whose CRC held
    std::optional<bool> lastConfigCrcOk;
    std::uint16_t lastCommand = 0;
};

}  // namespace board_sim
