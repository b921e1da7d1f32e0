// The whole board, as one comes up with its BOOTP jumper fitted: it asks BOOTP for
// its address, loads its firmware by TFTP from the server the reply names (checking
// length and CRC against the header BOOTP carried), then runs the datagram link to
// that server until the configurator disconnects. Each stage prints its own JSON
// summary line, which names the board's number. With --boards N it plays N boards
// one after another on the same interface, each with a hardware address of its own
// (the last octet counting up) and its own flash file, as boards fitted in turn to
// one cable would be. Runs only inside a network namespace of its own (as bootp does).
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/board-sim/BootpOptions.h"
#include "tools/board-sim/FaultInjector.h"

namespace board_sim {

struct BoardOptions {
    BootpOptions bootp;
    FaultRates faultRates;  // for the TFTP and link stages
    std::uint64_t seed = FaultInjector::kDefaultSeed;
    std::string flashPath;
    std::uint32_t durationMs = 120'000;    // for the TFTP and link stages together
    std::uint32_t tftpAckDelayMs = 0;      // a slow board, so that the transfer can be watched
    std::uint32_t tftpDelayMs = 0;         // from taking the address to the read request
    bool faultsOnLinkOnly = false;         // the TFTP stage without injected faults
    std::uint32_t boards = 1;              // played one after another
    std::uint32_t askAgain = 0;            // this board asks again once programmed; 0: none
    std::uint32_t askAgainAfterMs = 1000;  // its restart, from its disconnect
    std::uint32_t pauseMs = 0;             // from a board's end to the next one's start
    std::vector<std::uint8_t> image;       // the image the server serves; empty: built-in
    bool help = false;
};

constexpr std::uint32_t kMaxBoards = 100;

// Board k (1-based) of the run: the base address with k-1 added to its last octet.
MacAddress MacOfBoard(const MacAddress& base, std::uint32_t board);
// Where board k keeps its flash: PATH for a single board, PATH.k for each of several;
// nothing when no path was given.
std::string FlashPathOfBoard(const std::string& path, std::uint32_t board, std::uint32_t boards);
// A summary line with "board":k as its second member, after the mode.
std::string WithBoardNumber(const std::string& json, std::uint32_t board);

// Defines the board mode's options on `app`, to be read into `options`.
void AddBoardOptions(CLI::App& app, BoardOptions& options);
// The options, or nothing with `error` saying what is wrong.
std::optional<BoardOptions> ParseBoardOptions(const std::vector<std::string>& arguments,
                                              std::string& error);

// 0 when the board got its address and firmware and the link ended in a disconnect
// after a configuration whose CRC held; 1 otherwise.
int RunBoard(const BoardOptions& options, const std::atomic<bool>& stopRequested, std::FILE* out,
             std::FILE* err);

}  // namespace board_sim
