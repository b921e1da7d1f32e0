// The whole board, as one comes up with its BOOTP jumper fitted: it asks BOOTP for
// its address, loads its firmware by TFTP from the server the reply names (checking
// length and CRC against the header BOOTP carried), then runs the datagram link to
// that server until the configurator disconnects. Each stage prints its own JSON
// summary line. Runs only inside a network namespace of its own (as bootp does).
#pragma once

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/board-sim/BootpOptions.h"
#include "tools/board-sim/FaultInjector.h"

namespace board_sim {

extern const char* const kBoardHelp;

struct BoardOptions {
    BootpOptions bootp;
    FaultRates faultRates;  // for the TFTP and link stages
    std::uint64_t seed = FaultInjector::kDefaultSeed;
    std::string flashPath;
    std::uint32_t durationMs = 120'000;  // for the TFTP and link stages together
    std::uint32_t tftpAckDelayMs = 0;    // a slow board, so that the transfer can be watched
    std::uint32_t tftpDelayMs = 0;       // from taking the address to the read request
    bool faultsOnLinkOnly = false;       // the TFTP stage without injected faults
    bool help = false;
};

std::optional<BoardOptions> ParseBoardOptions(const std::vector<std::string>& arguments,
                                              std::string& error);

// 0 when the board got its address and firmware and the link ended in a disconnect
// after a configuration whose CRC held; 1 otherwise.
int RunBoard(const BoardOptions& options, const std::atomic<bool>& stopRequested, std::FILE* out,
             std::FILE* err);

}  // namespace board_sim
