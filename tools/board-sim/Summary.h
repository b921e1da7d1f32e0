// The one JSON object the link mode prints at exit, for tests to read.
#pragma once

#include <cstdint>
#include <string>

#include "tools/board-sim/FaultInjector.h"
#include "tools/board-sim/Flash.h"
#include "tools/board-sim/LinkCounters.h"

namespace board_sim {

// Socket-level counts, which the protocol logic never sees.
struct TrafficCounts {
    std::uint64_t datagramsReceived = 0;  // read from the socket, before any were dropped
    std::uint64_t datagramsSent = 0;      // handed to the socket, copies included
    std::uint64_t sendErrors = 0;
    std::uint64_t recordErrors = 0;
};

class Summary {
  public:
    Summary(const LinkCounters& link, const FaultInjector& faults, const Flash& flash,
            const TrafficCounts& traffic);

    // One line, no trailing newline.
    std::string ToJson() const;

  private:
    const LinkCounters& link_;
    const FaultInjector& faults_;
    const Flash& flash_;
    const TrafficCounts& traffic_;
};

}  // namespace board_sim
