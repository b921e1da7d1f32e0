// The bootp mode: a board with no address asks for one until a checked reply comes
// or its attempts or time run out, then puts the address on its interface. A later
// step (TFTP, the link) takes the lease from Lease().
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/board-sim/BootpExchange.h"
#include "tools/board-sim/BootpOptions.h"
#include "tools/board-sim/BootpSockets.h"

namespace board_sim {

class BootpMode {
  public:
    // Diagnostics go to `err`, the summary to `out`.
    BootpMode(const BootpOptions& options, std::FILE* out, std::FILE* err);

    // Runs the exchange and prints the summary; the process exit status.
    int Run(const std::atomic<bool>& stopRequested);
    // The exchange alone: true with a checked lease and the address in place.
    bool Obtain(const std::atomic<bool>& stopRequested);
    std::string SummaryJson() const;

    const std::optional<BootpLease>& Lease() const { return lease_; }

  private:
    bool AssignAddress(std::uint32_t addressNetworkOrder);

    BootpOptions options_;
    std::FILE* out_;
    std::FILE* err_;
    BootpSockets sockets_;
    MacAddress mac_{};
    std::uint32_t requestsSent_ = 0;
    std::optional<ReceivedReply> reply_;
    std::vector<std::string> failures_;
    std::optional<BootpLease> lease_;
    bool addressAssigned_ = false;
};

}  // namespace board_sim
